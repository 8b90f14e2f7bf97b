#!/usr/bin/env bash
# Builds the benchmarks (RelWithDebInfo, the project's default: optimised, with symbols for
# the profiler) and runs them all; prints one table (goal, figure, value, bound, verdict)
# and writes the same figures as JSON.
#
#   scripts/bench.sh            default run, a few minutes (processor time over 60 s a page)
#   scripts/bench.sh --quick    shorter runs, for a look (about two minutes)
#   scripts/bench.sh --long     also the ten-minute memory run (resident memory at minute 1
#                               and minute 10)
#
# Environment: ARDEMO_BENCH_BUILD (build folder, default build-bench), ARDEMO_BENCH_JSON
# (a copy of the JSON, default $TMPDIR/ardemo-bench-results.json, /tmp without TMPDIR).
# The machine may be shared: the load average is recorded with the figures; run again on a
# quiet machine before reading much into a failed processor-time figure.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
mode=default
for a in "$@"; do
    case "$a" in
    --quick) mode=quick ;;
    --long) mode=long ;;
    -h | --help)
        sed -n '2,15p' "$0"
        exit 0
        ;;
    *)
        echo "unknown option $a (--quick, --long)" >&2
        exit 2
        ;;
    esac
done

build=${ARDEMO_BENCH_BUILD:-$root/build-bench}
copy=${ARDEMO_BENCH_JSON:-${TMPDIR:-/tmp}/ardemo-bench-results.json}
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target ardemo-sim bench_system bench_driver \
    bench_wholeprogram bench_chartengine bench_reconnect bench_bridge >/dev/null

case $mode in
quick) runs=2 seconds=4 cpu=20 repeat=8 ;;
*) runs=3 seconds=8 cpu=60 repeat=15 ;;
esac

export QT_QPA_PLATFORM=offscreen
export ARDEMO_SIM="$build/tools/ardemo-sim"
tsv=$(mktemp)
trap 'rm -f "$tsv"' EXIT
export ARDEMO_BENCH_OUT=$tsv
load_before=$(cut -d' ' -f1 /proc/loadavg)

echo "== $(date -u +%FT%TZ) $mode run, load average $load_before, $(nproc) cores"
"$build/bench/system/bench_wholeprogram" startup --repeat "$repeat"
"$build/bench/system/bench_system" poll latency tick --runs "$runs" --seconds "$seconds"
"$build/bench/system/bench_wholeprogram" cpu --seconds "$cpu"
"$build/bench/comm/bench_search" --runs "$runs"
"$build/bench/system/bench_reconnect" --runs "$runs"
"$build/bench/net/bench_bridge" --lines --seconds "$((cpu / 2))"
"$build/bench/net/bench_bridge" --seconds "$((cpu / 2))"
if [ "$mode" = long ]; then
    "$build/bench/system/bench_wholeprogram" memory
fi
load_after=$(cut -d' ' -f1 /proc/loadavg)

# The table, in the order the figures came.
echo
printf '%-4s %-66s %12s %-6s %-10s %s\n' goal figure value unit bound verdict
awk -F'\t' '{ printf "%-4s %-66s %12s %-6s %-10s %s\n", $1, $2, $3, $4, $5, $6 }' "$tsv"
fails=$(awk -F'\t' '$6 == "FAIL"' "$tsv" | wc -l)
passes=$(awk -F'\t' '$6 == "pass"' "$tsv" | wc -l)
echo "$passes within bound, $fails outside"

# The same as JSON: the run, then one object per figure.
json="$build/bench-results.json"
{
    printf '{\n  "when": "%s",\n  "mode": "%s",\n  "build": "RelWithDebInfo",\n' \
        "$(date -u +%FT%TZ)" "$mode"
    printf '  "cores": %s,\n  "load_before": %s,\n  "load_after": %s,\n' \
        "$(nproc)" "$load_before" "$load_after"
    printf '  "commit": "%s",\n  "figures": [\n' "$(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown)"
    awk -F'\t' '
        function q(s) { gsub(/\\/, "\\\\", s); gsub(/"/, "\\\"", s); return "\"" s "\"" }
        {
            if (NR > 1) printf ",\n"
            bound = $5; kind = "none"; limit = "null"
            if (bound ~ /^< /) { kind = "max"; limit = substr(bound, 3) }
            else if (bound ~ /^>= /) { kind = "min"; limit = substr(bound, 4) }
            printf "    {\"goal\": %s, \"figure\": %s, \"value\": %s, \"unit\": %s, \"bound\": %s, \"bound_kind\": %s, \"verdict\": %s}", \
                q($1), q($2), ($3 ~ /^-?[0-9.]+$/ ? $3 : "null"), q($4), limit, q(kind), q($6)
        }
        END { printf "\n" }' "$tsv"
    printf '  ]\n}\n'
} >"$json"
if [ "$copy" != "$json" ]; then
    cp "$json" "$copy"
fi
echo "figures as JSON: $json (copy: $copy)"
