#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz/) and runs each for a bounded time,
# starting from its corpus in fuzz/corpus/<target>/.
#   ./scripts/fuzz.sh [seconds per target, default 60] [target ...]
# New inputs the fuzzer finds go to a work folder; inputs that break a target are saved
# in its crashes/ folder (printed at the end). A fixed crash input is kept in
# fuzz/regressions/<target>/, which the ordinary test tst_fuzzinputs replays.
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_EACH="${1:-60}"
shift || true
TARGETS=("$@")
[ ${#TARGETS[@]} -eq 0 ] && TARGETS=(fuzz_reply fuzz_prgfile fuzz_settings fuzz_simframe)
DIR=build-fuzz
OUT="${ARDEMO_FUZZ_OUT:-$PWD/$DIR/runs/$(date +%Y%m%d-%H%M%S)}"

./scripts/deps.sh fuzz
echo "== configure $DIR (clang, libFuzzer, address + undefined)"
CC=clang CXX=clang++ cmake -S . -B "$DIR" -G Ninja -DARDEMO_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
echo "== build ${TARGETS[*]}"
cmake --build "$DIR" -j"$(nproc)" --target "${TARGETS[@]}"

export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1"
export LSAN_OPTIONS="suppressions=$PWD/fuzz/lsan.supp"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_QPA_PLATFORM=offscreen
status=0
for t in "${TARGETS[@]}"; do
    work="$OUT/$t"
    mkdir -p "$work/corpus" "$work/crashes"
    echo "== $t: ${SECONDS_EACH}s, corpus fuzz/corpus/$t, new inputs in $work/corpus"
    # The reply target drives panels and memos, whose caches grow on every input: a leak
    # scan after each input would cost twenty times the input itself. Its leaks are looked
    # for once, at the end of the run.
    extra=()
    [ "$t" = fuzz_reply ] && extra=(-detect_leaks=0)
    # The starting corpus is read, never written: new inputs land in the work folder.
    if ! "$DIR/fuzz/$t" -max_total_time="$SECONDS_EACH" -print_final_stats=1 "${extra[@]}" \
        -artifact_prefix="$work/crashes/" -timeout=10 -rss_limit_mb=4096 \
        "$work/corpus" "fuzz/corpus/$t" 2>"$work/log.txt"; then
        status=1
    fi
    grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units|stat::average_exec_per_sec)' \
        "$work/log.txt" || true
    if compgen -G "$work/crashes/*" >/dev/null; then
        echo "!! $t: crash inputs in $work/crashes (log: $work/log.txt)"
        status=1
    fi
done
echo "== results in $OUT"
exit $status
