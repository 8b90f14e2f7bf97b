#!/usr/bin/env bash
# Installs what is missing, builds and runs every test (offscreen, pseudo-terminals only).
#   ARDEMO_SANITIZE=address  the whole suite under the address and undefined-behaviour
#                            checks, in build-address/
#   ARDEMO_SANITIZE=thread   the serial, line-communication and network tests (labels
#                            serial, comm, net) under the thread checker, in build-thread/;
#                            ARDEMO_TEST_LABEL picks other labels, ARDEMO_TEST_LABEL= runs
#                            them all
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
SAN="${ARDEMO_SANITIZE:-}"
DIR="build${SAN:+-$SAN}"
export QT_QPA_PLATFORM=offscreen
if [ "$SAN" = "address" ]; then
    export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
fi
if [ "$SAN" = "thread" ]; then
    # Qt is not built with the thread checker: only our own code is judged. The threads
    # live in the serial layer and meet the interface thread in the line communication,
    # and in the network bridge, so that is what this build runs unless told otherwise.
    # The live tests start the simulator: the forked child only replaces itself with the
    # simulator, so the checker's refusal of threads after such a fork does not apply.
    export TSAN_OPTIONS="ignore_noninstrumented_modules=1:halt_on_error=1:die_after_fork=0"
    ARDEMO_TEST_LABEL="${ARDEMO_TEST_LABEL-serial|comm|net}"
fi
if [ -n "$SAN" ]; then
    # A sanitizer build is for finding faults: light optimisation and line tables keep its
    # stack traces readable and its build short.
    echo "== configure $DIR (sanitizer: $SAN)"
    cmake -S . -B "$DIR" -G Ninja -DARDEMO_SANITIZE="$SAN" \
        -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" >/dev/null
fi
if [ "$SAN" = "thread" ] && [ -n "${ARDEMO_TEST_LABEL:-}" ]; then
    # Only the executables of the chosen tests are built (and the simulator they talk to).
    mapfile -t tests < <(ctest --test-dir "$DIR" -N -L "$ARDEMO_TEST_LABEL" |
                         sed -n 's/^ *Test *#[0-9]*: *//p')
    echo "== build $DIR: ${tests[*]}"
    cmake --build "$DIR" -j"$(nproc)" --target ardemo-sim "${tests[@]}"
else
    ./scripts/build.sh
fi
echo "== tests in $DIR"
cd "$DIR"
ctest --output-on-failure -j"$(nproc)" ${ARDEMO_TEST_LABEL:+-L "$ARDEMO_TEST_LABEL"}
