#!/usr/bin/env bash
# Replay throughput and memory of quillon-dump on generated CANopen logs of 1,000,000 and
# 5,000,000 frames, beside `wc -l` on the same files as the machine's reading baseline.
# Prints the median of RUNS runs (default 5) of each, then the micro-benchmarks, the live-port
# no-loss run and the window's.
set -euo pipefail
cd "$(dirname "$0")/.."
RUNS=${RUNS:-5}

scripts/install-deps.sh time
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build build-bench -j "$(nproc)" >/dev/null
bin=build-bench/bin
data=build-bench/data
mkdir -p "$data"

# Median of the numbers on standard input.
median() { sort -n | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }

# measure NAME FRAMES CMD...: median seconds and peak RSS over RUNS runs.
measure() {
    local name=$1 frames=$2
    shift 2
    local secs=() rss=() out
    for _ in $(seq "$RUNS"); do
        /usr/bin/time -o "$data/time.txt" -f '%e %M' "$@" >/dev/null 2>&1
        out=$(tail -1 "$data/time.txt")
        secs+=("${out% *}")
        rss+=("${out#* }")
    done
    local s r
    s=$(printf '%s\n' "${secs[@]}" | median)
    r=$(printf '%s\n' "${rss[@]}" | median)
    awk -v n="$name" -v f="$frames" -v s="$s" -v r="$r" 'BEGIN {
        printf "%-34s %9d frames  %7.3f s  %12.0f frames/s  peak RSS %7.1f MB\n",
               n, f, s, (s > 0 ? f / s : 0), r / 1024 }'
}

for frames in 1000000 5000000; do
    log=$data/canopen-$frames.log
    [ -s "$log" ] || "$bin/gen_canopen_log" "$frames" > "$log"
    measure "wc -l" "$frames" wc -l "$log"
    measure "quillon-dump -q" "$frames" "$bin/quillon-dump" -q "$log"
    measure "quillon-dump (text rows)" "$frames" "$bin/quillon-dump" "$log"
    measure "quillon-dump -q -c 1000000" "$frames" "$bin/quillon-dump" -q -c 1000000 "$log"
done

"$bin/pipeline_bench" --benchmark_min_time=0.5
"$bin/filter_bench"
"$bin/eds_bench"

# Live ports: the emulated flood set-up's eight ports read without loss.
bench/live_flood.sh "$bin/quillon-dump"

# The window under a virtual X server: list redraw over 10 million frames, and the replay of the
# 5,000,000-frame log in the window (compare with quillon-dump -q above).
xvfb-run -a -s "-screen 0 1280x1024x24" "$bin/gui_bench" draw 10000000
xvfb-run -a -s "-screen 0 1280x1024x24" "$bin/gui_bench" replay "$data/canopen-5000000.log"
# The filter dialog's Apply over a full store of 10 million frames: the window stays live.
xvfb-run -a -s "-screen 0 1280x1024x24" "$bin/gui_bench" apply 10000000
