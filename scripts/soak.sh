#!/usr/bin/env bash
# The soak run: the whole program on 50 simulated sources with faults switched on, ten of
# them running programs with recording on, the chart in 3D, for the given minutes (default
# 10). Prints the figures and a verdict; exit status 0 when every check held.
#
#   scripts/soak.sh [minutes]
#
# ARDEMO_BUILD_DIR picks the build folder (default build/); ARDEMO_SOAK_JUDGE=cpu judges
# the 100 ms limit of a tick pass on its CPU time instead of its wall time.
set -euo pipefail
cd "$(dirname "$0")/.."
MINUTES="${1:-10}"
DIR="${ARDEMO_BUILD_DIR:-build}"
JUDGE="${ARDEMO_SOAK_JUDGE:-wall}"
# Under a minute the run ends before memory can be judged after the chart has filled.
if [[ ! "$MINUTES" =~ ^[0-9]+([.][0-9]+)?$ ]] || awk "BEGIN { exit !($MINUTES < 1) }"; then
    echo "usage: scripts/soak.sh [minutes]   (at least 1)" >&2
    exit 2
fi
if [ ! -f "$DIR/CMakeCache.txt" ]; then
    cmake -S . -B "$DIR" -G Ninja >/dev/null
fi
cmake --build "$DIR" --target ardemo-soak ardemo-sim -j"$(nproc)" >/dev/null
# A whole minute between memory samples, fewer for short runs.
SAMPLE=60
if awk "BEGIN { exit !($MINUTES < 5) }"; then SAMPLE=5; fi
echo "== soak: $MINUTES min, memory sampled every $SAMPLE s, tick judged on $JUDGE time"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
export ARDEMO_SIM="$PWD/$DIR/tools/ardemo-sim"
export LC_ALL=C.UTF-8
# Bounded: the run itself plus set-up and checks; a hang ends as a failure.
LIMIT=$(awk "BEGIN { printf \"%d\", $MINUTES * 60 + 300 }")
set +e
timeout --kill-after=10 "$LIMIT" "$DIR/tests/soak/ardemo-soak" --minutes "$MINUTES" \
    --sample "$SAMPLE" --judge "$JUDGE"
rc=$?
set -e
if [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ]; then
    echo "soak: FAIL (did not end within $LIMIT s)"
fi
exit "$rc"
