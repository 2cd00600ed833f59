#!/usr/bin/env bash
# Takes the README's screenshots under a virtual X server: the demo log in the window, a PDO frame
# of an I/O module selected, and the line of its digital inputs highlighted in the detail view
# (the byte they come from turns blue), written to docs/screenshot.png; the find bar having found
# a frame by its identifier, over the status bar, to docs/find.png; then a plot window of the
# drive's position and its target (or, in a demo log without targets, the rate of the drive's
# PDO) with the cursor and their values at it, written to docs/plot.png.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh imagemagick x11-apps
make build

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/.Quillon"
# Object names from the demo's network configuration.
cat > "$work/.Quillon/prefs.cfg" <<PREFS
[Quillon]
   NetCfg_Dflt:$PWD/examples/demo.netcfg
[END]
PREFS

# The drive's target where the demo log has its values.
second=5:0x607A
if ! ./build/bin/quillon-dump -n examples/demo.netcfg -P "$second" examples/demo.log |
    tail -n +2 | cut -d, -f2 | grep -q '[0-9]'; then
    second=rate:0x185
fi

xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
    set -e
    HOME="$1" ./build/bin/quillon -f examples/demo.log &
    pid=$!
    id=""
    for _ in $(seq 50); do
        id=$(xdotool search --onlyvisible --name "^Quillon$" 2>/dev/null | head -1) || true
        [ -n "$id" ] && break
        sleep 0.1
    done
    sleep 1.5  # the replay ends and the list follows it
    # Row 2 of the list (frame 2827, "TPDO1<-3: Digital inputs 1-8=241 ..."), then line 2 of the
    # detail view (the digital inputs).
    xdotool mousemove --window "$id" 300 108 click 1
    sleep 0.3
    xdotool mousemove --window "$id" 300 495 click 1
    sleep 0.5
    xwd -id "$id" -silent > "$1/shot.xwd"
    # Ctrl+F, the drive'"'"'s first PDO by its identifier, Enter: the find bar over the status bar.
    xdotool windowfocus --sync "$id" key ctrl+f
    sleep 0.3
    xdotool type 185
    xdotool key Return
    sleep 0.5
    xwd -id "$id" -silent > "$1/find.xwd"
    xdotool key Escape
    sleep 0.3
    # Tools -> Plot..., then each series typed into its field (Enter plots it).
    xdotool windowfocus --sync "$id" key alt+t
    sleep 0.3
    xdotool key p
    plot=""
    for _ in $(seq 50); do
        plot=$(xdotool search --onlyvisible --name "^Plot$" 2>/dev/null | head -1) || true
        [ -n "$plot" ] && break
        sleep 0.1
    done
    xdotool windowfocus --sync "$plot" mousemove --window "$plot" 150 300 click 1
    for series in 5:0x6064 "$2"; do
        xdotool key ctrl+a type "$series"
        xdotool key Return
        sleep 0.5
    done
    # The position'"'"'s scale on the axis (its row in the trace list), and the cursor over the plot
    # with each trace'"'"'s value there.
    xdotool mousemove --window "$plot" 100 357 click 1
    xdotool mousemove --window "$plot" 600 260
    sleep 0.5
    xwd -id "$plot" -silent > "$1/plot.xwd"
    kill "$pid"
' bash "$work" "$second"
convert "$work/shot.xwd" docs/screenshot.png
convert "$work/plot.xwd" docs/plot.png
# The bottom of the window: the find bar and the status bar.
convert "$work/find.xwd" -gravity south -crop 100%x30%+0+0 +repage docs/find.png
echo "docs/screenshot.png, docs/find.png and docs/plot.png written ($second beside the position)"
