#!/usr/bin/env bash
# Installs what is missing, builds and runs every test (offscreen, pseudo-terminals only).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
./scripts/build.sh
SAN="${ARDEMO_SANITIZE:-}"
DIR="build${SAN:+-$SAN}"
echo "== tests in $DIR"
cd "$DIR"
export QT_QPA_PLATFORM=offscreen
if [ "$SAN" = "address" ]; then
    export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
fi
ctest --output-on-failure -j"$(nproc)" ${ARDEMO_TEST_LABEL:+-L "$ARDEMO_TEST_LABEL"}
