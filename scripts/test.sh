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
if [ "$SAN" = "thread" ]; then
    # Qt is not built with the thread checker: only our own code is judged. The threads
    # live in the serial layer, so that is what this build runs unless told otherwise.
    export TSAN_OPTIONS="ignore_noninstrumented_modules=1:halt_on_error=1"
    ARDEMO_TEST_LABEL="${ARDEMO_TEST_LABEL-serial}"
fi
ctest --output-on-failure -j"$(nproc)" ${ARDEMO_TEST_LABEL:+-L "$ARDEMO_TEST_LABEL"}
