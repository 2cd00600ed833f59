#!/usr/bin/env bash
# No loss on live ports: the eight ports of the emulated `flood` set-up, each on a 1 Mbit/s bus
# of its own carrying 100,000 frames that number themselves (data bytes 0-3, little-endian), read
# by one quillon-dump until 800,000 frames are stored. Every port's sequence numbers must arrive
# once each and in order from 0, with no gap, and no receive queue may overrun. Prints frames/s and the process's CPU time per
# frame; exits 1 when a check fails.
#
#   bench/live_flood.sh [QUILLON_DUMP]     (default build/bin/quillon-dump)
set -euo pipefail
cd "$(dirname "$0")/.."
dump=${1:-build/bin/quillon-dump}
[ -x "$dump" ] || { echo "no $dump: build it first (make build)" >&2; exit 1; }
scripts/install-deps.sh time
frames=800000

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

ports=()
for p in 0 1 2 3 4 5 6 7; do ports+=(-p "$p:0"); done  # code 0: 1 Mbit/s, the buses' rate
# The output goes to a file and is checked afterwards, so that the checker takes no CPU from the
# readers while they run.
QUILLON_SIM=flood /usr/bin/time -o "$work/time.txt" -f '%U %S' \
    "$dump" -m raw -j -s "${ports[@]}" -N "$frames" >"$work/frames.jsonl" 2>"$work/stderr.txt" || {
    cat "$work/stderr.txt" >&2
    exit 1
}

# quillon-dump -s: "frames: N, seconds: S, frames/s: F, ..."
stats=$(grep '^frames: ' "$work/stderr.txt")
cpu=$(awk '{print $1 + $2}' "$work/time.txt")

awk -v want="$frames" -v cpu="$cpu" -v stats="$stats" '
    BEGIN { hex = "0123456789abcdef" }
    function byte(s, i) {
        return (index(hex, substr(s, i, 1)) - 1) * 16 + index(hex, substr(s, i + 1, 1)) - 1
    }
    function fail(message) {
        if (++failures <= 10) print "line " NR ": " message > "/dev/stderr"
    }
    {
        if (!match($0, /"port":[0-9]+/)) { fail("no port"); next }
        port = substr($0, RSTART + 7, RLENGTH - 7) + 0
        if (!match($0, /"data":"[0-9a-f]+"/)) { fail("no data bytes"); next }
        d = substr($0, RSTART + 8, 8)
        seq = byte(d, 1) + 256 * byte(d, 3) + 65536 * byte(d, 5) + 16777216 * byte(d, 7)
        if (!(port in next_seq)) next_seq[port] = 0
        if (seq != next_seq[port])
            fail("port " port ": sequence number " seq ", expected " next_seq[port])
        next_seq[port] = seq + 1
        received[port]++
    }
    END {
        split(stats, field, /[:,] */)
        fps = field[6]
        for (p = 0; p < 8; p++) {
            printf "port %d: %d frames, sequence 0 to %d\n", p, received[p], next_seq[p] - 1
            if (received[p] == 0) { print "port " p ": no frames" > "/dev/stderr"; failures++ }
        }
        printf "live flood, 8 ports: %d frames in %s s, %s frames/s, CPU %.2f s = %.2f us a frame\n",
               NR, field[4], fps, cpu, NR ? cpu * 1e6 / NR : 0
        if (NR < want) { print "only " NR " frames of " want > "/dev/stderr"; failures++ }
        if (!match(stats, /overruns: [0-9]+/)) { print "no overrun count" > "/dev/stderr"; failures++ }
        overruns = substr(stats, RSTART + 10, RLENGTH - 10) + 0
        print "overruns: " overruns
        if (overruns) { print overruns " frames overran the receive queues" > "/dev/stderr"; failures++ }
        if (failures) { print failures " failed checks" > "/dev/stderr"; exit 1 }
        print "no loss: every sequence number once and in order on every port"
    }' "$work/frames.jsonl"
