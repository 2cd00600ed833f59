#!/usr/bin/env bash
# Capture on a real SocketCAN socket beside candump. Inside the user-mode Linux kernel of
# scripts/kernel-check.sh, cangen sends FRAMES frames (default 1,000,000) on vcan0 as fast as the
# kernel takes them, while quillon-dump -q and candump -L read the interface side by side. Prints
# what each received, the rate, and each reader's CPU time per frame; exits 1 when quillon-dump
# received fewer frames than candump, 77 when no user-mode kernel can run here.
#
#   bench/socketcan_throughput.sh [BUILD_DIR [FRAMES]]   (default build, built: make build)
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = --inside ]; then
    dump=$2 frames=$3
    work=$(mktemp -d)
    export QUILLON_SOCKETCAN=1 HOME=$work
    port=$("$dump" -L | awk -F'\t' '$4 == "SocketCAN vcan0" { print $1 }')
    [ -n "$port" ] || { echo "quillon-dump -L does not list vcan0"; exit 1; }
    readers() { awk '$1 == "vcan0"' /proc/net/can/rcvlist_all | wc -l; }
    /usr/bin/time -o "$work/candump.time" -f '%U %S' candump -L vcan0 >"$work/candump.log" &
    /usr/bin/time -o "$work/dump.time" -f '%U %S' \
        "$dump" -q -s -c $((frames + 1)) -p "$port" -N "$frames" 2>"$work/dump.err" &
    while [ "$(readers)" -lt 2 ]; do sleep 0.1; done  # both sockets bound
    start=$(date +%s.%N)
    cangen vcan0 -g 0 -p 10 -n "$frames" -I i -L 8 -D i  # -p: waits out a full device queue
    end=$(date +%s.%N)
    sleep 2  # what is still queued for the readers
    pkill -INT -x candump || true
    pkill -INT -x quillon-dump || true
    wait
    cat "$work/dump.err"
    got_candump=$(wc -l <"$work/candump.log")
    got_dump=$(sed -n 's/^frames: \([0-9]*\),.*/\1/p' "$work/dump.err")
    awk -v n="$frames" -v s="$start" -v e="$end" 'BEGIN {
        printf "%-16s %9d frames sent in %.2f s: %.0f frames/s\n", "cangen -g 0", n, e - s, n / (e - s) }'
    for reader in candump dump; do
        got=$([ $reader = candump ] && echo "$got_candump" || echo "$got_dump")
        read -r user sys <"$work/$reader.time"
        awk -v r="$([ $reader = candump ] && echo "candump -L" || echo "quillon-dump -q")" \
            -v g="$got" -v u="$user" -v y="$sys" -v s="$start" -v e="$end" 'BEGIN {
            printf "%-16s %9d frames received (%.0f frames/s), CPU %.2f s: %.2f us a frame\n",
                r, g, g / (e - s), u + y, g ? (u + y) * 1e6 / g : 0 }'
    done
    rm -rf "$work"
    [ "$got_dump" -ge "$got_candump" ] || { echo "quillon-dump lost frames candump received"; exit 1; }
    exit 0
fi

build=$(realpath "${1:-build}")
frames=${2:-1000000}
[ -x "$build/bin/quillon-dump" ] || { echo "no $build/bin/quillon-dump: build it first" >&2; exit 1; }
KERNEL_CHECK_SECONDS=1800 exec scripts/kernel-check.sh "$build" "$PWD/bench/socketcan_throughput.sh" --inside \
    "$build/bin/quillon-dump" "$frames"
