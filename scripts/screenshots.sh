#!/usr/bin/env bash
# Takes the user guide's screenshots: builds the program, the simulator and the picture
# taker (tools/shots), runs the whole program on simulated sources under a virtual X
# server once in Czech and once in English, and writes docs/guide/img/{cz,en}-*.png
# (reduced to a 128-colour palette) and the example files of docs/guide/examples/{cz,en}/.
# About a minute and a half; nothing else needs a display.
#
#   ./scripts/screenshots.sh            # build/ as scripts/build.sh makes it
#   ARDEMO_BUILD_DIR=build-x ./scripts/screenshots.sh
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT="$PWD"
BUILD="${ARDEMO_BUILD_DIR:-build}"
IMG="$ROOT/docs/guide/img"
EXAMPLES="$ROOT/docs/guide/examples"

./scripts/deps.sh shots
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
    cmake -S . -B "$BUILD" -G Ninja >/dev/null
fi
echo "== build $BUILD: ardemo-shots, ardemo-sim"
cmake --build "$BUILD" --target ardemo-shots ardemo-sim -j"$(nproc)"

WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
export ARDEMO_SIM="$ROOT/$BUILD/tools/ardemo-sim"

# Each language in the locale of its users, so that the clock, the date and the decimal
# separator of the export look as they would on their machines.
run() { # lang locale
    echo "== screenshots: $1 ($2)"
    LC_ALL="$2" LANG="$2" xvfb-run -a -s "-screen 0 1280x900x24" \
        "$ROOT/$BUILD/tools/shots/ardemo-shots" "$1" "$WORK/img" "$WORK/examples/$1"
}
run cz cs_CZ.UTF-8
run en en_GB.UTF-8

echo "== palette: $IMG"
mkdir -p "$IMG"
for f in "$WORK"/img/*.png; do
    # No dithering: flat interface colours and sharp text stay as they are.
    convert "$f" -strip +dither -colors 128 "PNG8:$IMG/$(basename "$f")"
done

echo "== examples: $EXAMPLES"
for lang in cz en; do
    rm -rf "${EXAMPLES:?}/$lang"
    mkdir -p "$EXAMPLES/$lang"
    cp "$WORK/examples/$lang"/* "$EXAMPLES/$lang/"
done
ls -l "$IMG"
