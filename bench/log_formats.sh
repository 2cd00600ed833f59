#!/usr/bin/env bash
# Replay speed of the other tools' log formats beside Quillon's own on the same frames: a
# generated CANopen log of FRAMES frames (default 1,000,000) is written as candump, ASC and TRC
# logs by quillon-dump -o, and each is replayed with quillon-dump -q. Prints the median of RUNS
# runs (default 5) of each and its time relative to the Quillon log's.
set -euo pipefail
cd "$(dirname "$0")/.."
RUNS=${RUNS:-5}
FRAMES=${FRAMES:-1000000}

scripts/install-deps.sh bc
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build build-bench -j "$(nproc)" --target quillon-dump gen_canopen_log >/dev/null
bin=build-bench/bin
data=build-bench/data
mkdir -p "$data"

log=$data/canopen-$FRAMES.log
[ -s "$log" ] || "$bin/gen_canopen_log" "$FRAMES" > "$log"

median() { sort -n | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }

# Median seconds of replaying file.
replay() {
    local secs=()
    for _ in $(seq "$RUNS"); do
        local start end
        start=$(date +%s.%N)
        "$bin/quillon-dump" -q "$1" >/dev/null
        end=$(date +%s.%N)
        secs+=("$(echo "$end - $start" | bc)")
    done
    printf '%s\n' "${secs[@]}" | median
}

native=$(replay "$log")
printf '%-8s %9d frames  %7.3f s  %10.0f frames/s\n' quillon "$FRAMES" "$native" \
    "$(echo "$FRAMES / $native" | bc)"
for format in candump asc trc; do
    file=$data/canopen-$FRAMES.$format
    [ -s "$file" ] || "$bin/quillon-dump" -o "$format" "$log" > "$file"
    s=$(replay "$file")
    printf '%-8s %9d frames  %7.3f s  %10.0f frames/s  %.2f x the Quillon log\n' "$format" \
        "$FRAMES" "$s" "$(echo "$FRAMES / $s" | bc)" "$(echo "$s / $native" | bc -l)"
done
