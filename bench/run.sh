#!/usr/bin/env bash
# Replay throughput and memory of quillon-dump on generated CANopen logs of 2,000,000 and
# 5,000,000 frames, beside `wc -l` and a plain fgets+sscanf loop on the same files as the
# machine's reading baselines, and beside the tools a user would otherwise reach for (can-utils
# log2asc, python-can's LogReader, tshark) on the same traffic converted by quillon-dump -o.
# Prints the median of RUNS runs (default 5) of each (ANCHOR_RUNS, default 3, for the slow other
# tools), then the micro-benchmarks, the live-port no-loss run and the window's.
set -euo pipefail
cd "$(dirname "$0")/.."
RUNS=${RUNS:-5}
ANCHOR_RUNS=${ANCHOR_RUNS:-3}

scripts/install-deps.sh time tshark
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build build-bench -j "$(nproc)" >/dev/null
bin=build-bench/bin
data=build-bench/data
mkdir -p "$data"

# Median of the numbers on standard input.
median() { sort -n | awk '{v[NR]=$1} END {print (NR%2) ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2}'; }

# measure NAME FRAMES CMD...: median seconds (also left in $secs) and peak RSS over RUNS runs.
measure() {
    local name=$1 frames=$2
    shift 2
    local secs=() rss=() out
    for _ in $(seq "$runs"); do
        /usr/bin/time -o "$data/time.txt" -f '%e %M' "$@" >/dev/null 2>&1
        out=$(tail -1 "$data/time.txt")
        secs+=("${out% *}")
        rss+=("${out#* }")
    done
    local s r
    s=$(printf '%s\n' "${secs[@]}" | median)
    r=$(printf '%s\n' "${rss[@]}" | median)
    last=$s
    last_rss=$r
    awk -v n="$name" -v f="$frames" -v s="$s" -v r="$r" 'BEGIN {
        printf "%-34s %9d frames  %7.3f s  %12.0f frames/s  peak RSS %7.1f MB\n",
               n, f, s, (s > 0 ? f / s : 0), r / 1024 }'
}

# ratio A B NAME: how many times faster A seconds are than B seconds.
ratio() { awk -v a="$1" -v b="$2" -v n="$3" 'BEGIN { printf "  %-60s %6.2f x\n", n, (a > 0 ? b / a : 0) }'; }

# The replay targets, checked at the end: "NAME|VALUE|>= or <=|LIMIT" lines.
targets=()
target() { targets+=("$1|$2|$3|$4"); }
# frames_per_s FRAMES SECONDS
frames_per_s() { awk -v f="$1" -v s="$2" 'BEGIN { printf "%.0f", (s > 0 ? f / s : 0) }'; }

runs=$RUNS
for frames in 2000000 5000000; do
    log=$data/canopen-$frames.log
    [ -s "$log" ] || "$bin/gen_canopen_log" "$frames" > "$log"
    measure "wc -l" "$frames" wc -l "$log"
    measure "fgets+sscanf" "$frames" "$bin/fgets_sscanf" "$log"
    baseline=$last
    measure "quillon-dump -q" "$frames" "$bin/quillon-dump" -q "$log"
    ratio "$last" "$baseline" "quillon-dump -q against fgets+sscanf"
    if [ "$frames" = 2000000 ]; then
        target "quillon-dump -q, frames/s" "$(frames_per_s "$frames" "$last")" ">=" 8000000
        target "quillon-dump -q against fgets+sscanf, times" \
            "$(awk -v a="$last" -v b="$baseline" 'BEGIN { printf "%.2f", b / a }')" ">=" 3
        # The network status counted on every frame (the nodes table printed: a few lines).
        quiet2=$last
        measure "quillon-dump -S nodes (status counted)" "$frames" "$bin/quillon-dump" -S nodes "$log"
        target "network status: time against quillon-dump -q, times" \
            "$(awk -v a="$last" -v b="$quiet2" 'BEGIN { printf "%.3f", a / b }')" "<=" 1.10
    else
        quiet5=$last
    fi
    target "peak RSS above 16 MB per frame ($frames frames), bytes" \
        "$(awk -v r="$last_rss" -v f="$frames" 'BEGIN { printf "%.1f", (r - 16384) * 1024 / f }')" "<=" 48
    measure "quillon-dump (text rows)" "$frames" "$bin/quillon-dump" "$log"
    if [ "$frames" = 2000000 ]; then
        target "quillon-dump text rows, rows/s" "$(frames_per_s "$frames" "$last")" ">=" 3000000
        measure "quillon-dump -d" "$frames" "$bin/quillon-dump" -d "$log"
        target "quillon-dump -d, frames/s" "$(frames_per_s "$frames" "$last")" ">=" 1000000
        measure "quillon-dump -j" "$frames" "$bin/quillon-dump" -j "$log"
        target "quillon-dump -j, frames/s" "$(frames_per_s "$frames" "$last")" ">=" 1000000
    fi
    measure "quillon-dump -q -c 1000000" "$frames" "$bin/quillon-dump" -q -c 1000000 "$log"
done

# Process data: 2,000,000 frames of eight nodes' four TPDOs each, one remapping per node halfway,
# decoded by the mapping in force (bench/pdo.netcfg); the history of the mappings against the
# same replay without them.
pdolog=$data/pdo-2000000.log
[ -s "$pdolog" ] || "$bin/gen_canopen_log" 2000000 8 pdo > "$pdolog"
measure "fgets+sscanf (PDO set)" 2000000 "$bin/fgets_sscanf" "$pdolog"
baseline=$last
measure "quillon-dump -q (PDO set, no mappings)" 2000000 "$bin/quillon-dump" -q "$pdolog"
plain_rss=$last_rss
measure "quillon-dump -q -n pdo.netcfg" 2000000 "$bin/quillon-dump" -q -n bench/pdo.netcfg "$pdolog"
ratio "$last" "$baseline" "quillon-dump -q -n against fgets+sscanf (PDO set)"
target "PDO set: quillon-dump -q -n, frames/s" "$(frames_per_s 2000000 "$last")" ">=" 8000000
target "PDO set: quillon-dump -q -n against fgets+sscanf, times" \
    "$(awk -v a="$last" -v b="$baseline" 'BEGIN { printf "%.2f", b / a }')" ">=" 3
target "PDO set: mapping history, bytes per stored frame" \
    "$(awk -v r="$last_rss" -v p="$plain_rss" 'BEGIN { printf "%.2f", (r - p) * 1024 / 2000000 }')" \
    "<=" 1
measure "quillon-dump -j -n pdo.netcfg (values)" 2000000 "$bin/quillon-dump" -j -n bench/pdo.netcfg \
    "$pdolog"
target "PDO set: quillon-dump -j -n with values, frames/s" "$(frames_per_s 2000000 "$last")" \
    ">=" 1000000

# Texts: 2,000,000 comment lines of 990 characters, and 2,000,000 CAN FD frames of 64 bytes (kept
# as text), in a store of 2,000,000 messages: past its text budget the store lets go of its oldest
# entries, so that peak RSS stays within what the memory check counts a message (76 bytes: 40 of
# its slot, 4 of the filtered view's, 32 of texts).
comments=$data/comments-2000000.log
[ -s "$comments" ] || awk 'BEGIN { s = sprintf("%990s", ""); gsub(/ /, "x", s)
    for (i = 0; i < 2000000; i++) print "# " s }' > "$comments"
fdlog=$data/fd-2000000-candump.log
[ -s "$fdlog" ] || awk 'BEGIN { for (i = 0; i < 2000000; i++) { d = ""
        for (k = 0; k < 64; k++) d = d sprintf("%02X", (i + k) % 256)
        printf "(%d.%06d) can0 123##1%s\n", 1700000000 + int(i / 10000), (i % 10000) * 100, d } }' \
    > "$fdlog"
for textlog in "$comments" "$fdlog"; do
    measure "quillon-dump -q -c 2000000 ($(basename "$textlog"))" 2000000 "$bin/quillon-dump" -q \
        -c 2000000 "$textlog"
    target "texts: peak RSS above 16 MB per message ($(basename "$textlog")), bytes" \
        "$(awk -v r="$last_rss" 'BEGIN { printf "%.1f", (r - 16384) * 1024 / 2000000 }')" "<=" 76
done

# The other tools on the same 2,000,000 frames, converted by quillon-dump -o.
log=$data/canopen-2000000.log
candump=$data/canopen-2000000-candump.log  # python-can knows a candump log by its .log
[ -s "$candump" ] || "$bin/quillon-dump" -o candump "$log" > "$candump"
runs=$RUNS
measure "quillon-dump -q (Quillon log)" 2000000 "$bin/quillon-dump" -q "$log"
ours=$last
measure "quillon-dump -q (candump log)" 2000000 "$bin/quillon-dump" -q "$candump"
runs=$ANCHOR_RUNS
if command -v log2asc >/dev/null; then
    measure "can-utils log2asc (candump log)" 2000000 \
        log2asc -I "$candump" -O /dev/null can0 can1 can2 can3 can4 can5 can6 can7
    ratio "$ours" "$last" "quillon-dump -q against log2asc"
else
    echo "can-utils log2asc: not installed"
fi
# Debian's python3-can is found by the system's python, which need not be the first on PATH.
py=
for candidate in python3 /usr/bin/python3; do
    if "$candidate" -c 'import can' 2>/dev/null; then
        py=$candidate
        break
    fi
done
if [ -n "$py" ]; then
    measure "python-can LogReader (candump log)" 2000000 "$py" -c \
        'import sys, can; sum(1 for _ in can.LogReader(sys.argv[1]))' "$candump"
    ratio "$ours" "$last" "quillon-dump -q against python-can"
else
    echo "python-can: not installed"
fi
if command -v tshark >/dev/null && command -v text2pcap >/dev/null; then
    # A SocketCAN capture of the candump log (link type 227: 4 bytes identifier, length, 3 bytes
    # padding, 8 data bytes), for Wireshark's CANopen dissector.
    pcap=$data/canopen-2000000.pcap
    [ -s "$pcap" ] || awk '
        function hex(s,  v, i) {
            for (i = 1; i <= length(s); i++) v = v * 16 + index("0123456789abcdef", tolower(substr(s, i, 1))) - 1
            return v
        }
        {
        split($3, f, "#"); id = f[1]; data = f[2]; n = length(data) / 2
        v = hex(id)
        printf "%s 000000 %02x %02x %02x %02x %02x 00 00 00", substr($1, 2, length($1) - 2),
               int(v / 16777216) % 256, int(v / 65536) % 256, int(v / 256) % 256, v % 256, n
        for (i = 0; i < n; i++) printf " %s", substr(data, 2 * i + 1, 2)
        for (; i < 8; i++) printf " 00"
        print ""
    }' "$candump" | text2pcap -q -l 227 -t "%s." - "$pcap"
    measure "tshark -r (CANopen dissector)" 2000000 tshark -r "$pcap" -d can.subdissector,canopen
    ratio "$ours" "$last" "quillon-dump -q against tshark"
else
    echo "tshark: not installed"
fi
runs=$RUNS

# The other tools' log formats beside Quillon's own.
RUNS=$RUNS bench/log_formats.sh

"$bin/pipeline_bench" --benchmark_min_time=0.5
"$bin/filter_bench"
"$bin/eds_bench"

# Live ports: the emulated flood set-up's eight ports read without loss.
bench/live_flood.sh "$bin/quillon-dump"

# A real SocketCAN socket beside candump, in a user-mode Linux kernel (status 77: none runs here).
bench/socketcan_throughput.sh build-bench || [ $? -eq 77 ]

# The window under a virtual X server: list redraw over 10 million frames, and the replay of the
# 5,000,000-frame log in the window (compare with quillon-dump -q above).
xvfb-run -a -s "-screen 0 1280x1024x24" "$bin/gui_bench" draw 10000000
replay=$(xvfb-run -a -s "-screen 0 1280x1024x24" "$bin/gui_bench" replay "$data/canopen-5000000.log")
echo "$replay"
window=$(echo "$replay" | sed -n 's/.* frames in \([0-9.]*\) s.*/\1/p')
target "window replay of 5,000,000 frames against quillon-dump -q, times" \
    "$(awk -v w="$window" -v q="$quiet5" 'BEGIN { printf "%.2f", w / q }')" "<=" 1.2
# The status bar's update over 10 million frames, four times a second: a small fraction of a ms.
bar=$(xvfb-run -a -s "-screen 0 1280x1024x24" "$bin/gui_bench" statusbar 10000000)
echo "$bar"
target "status bar update over 10,000,000 frames, ms" \
    "$(echo "$bar" | sed -n 's/.* median \([0-9.]*\) ms.*/\1/p')" "<=" 2
# The filter dialog's Apply over a full store of 10 million frames: the window stays live.
xvfb-run -a -s "-screen 0 1280x1024x24" "$bin/gui_bench" apply 10000000
# The network status window over 2,048 identifiers and 127 nodes, redrawn and updated.
status=$(xvfb-run -a -s "-screen 0 1280x1024x24" "$bin/gui_bench" status)
echo "$status"
target "network status window redraw (2,048 identifiers, 127 nodes), ms" \
    "$(echo "$status" | sed -n 's/.* redraw median \([0-9.]*\) ms.*/\1/p')" "<=" 20
# The find bar over a full store of 10 million frames: a find by identifier, data or text under 1 s.
find=$(xvfb-run -a -s "-screen 0 1280x1024x24" "$bin/gui_bench" find 10000000)
echo "$find"
target "find by identifier over 10,000,000 frames, ms" \
    "$(echo "$find" | sed -n 's/^find ID .* median \([0-9.]*\) ms.*/\1/p')" "<=" 1000
target "find by data pattern over 10,000,000 frames, ms" \
    "$(echo "$find" | sed -n 's/^find Data .* median \([0-9.]*\) ms.*/\1/p')" "<=" 1000
target "find by Value text over 10,000,000 frames, ms" \
    "$(echo "$find" | sed -n 's/^find Text .* median \([0-9.]*\) ms.*/\1/p')" "<=" 1000
# The plot window's widget drawing a trace of 10 million points: well under 50 ms a redraw.
plot=$(xvfb-run -a -s "-screen 0 1280x1024x24" "$bin/gui_bench" plot 10000000)
echo "$plot"
target "plot redraw of a 10,000,000-point trace, ms" \
    "$(echo "$plot" | sed -n 's/.* whole median \([0-9.]*\) ms.*/\1/p')" "<=" 50

echo
echo "Replay targets (medians above):"
for t in "${targets[@]}"; do
    IFS='|' read -r name value op limit <<<"$t"
    awk -v n="$name" -v v="$value" -v o="$op" -v l="$limit" 'BEGIN {
        ok = (o == ">=") ? v >= l : v <= l
        printf "  %-70s %12s  %s %-9s %s\n", n, v, o, l, ok ? "met" : "NOT MET" }'
done
