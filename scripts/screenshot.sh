#!/usr/bin/env bash
# Takes the README's screenshot under a virtual X server: the demo log in the window, a PDO frame
# of an I/O module selected, and the line of its digital inputs highlighted in the detail view
# (the byte they come from turns blue). Writes docs/screenshot.png.
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

xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
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
    # Row 4 of the list (frame 2569, "TPDO1<-3: Digital inputs 1-8=241 ..."), then line 2 of the
    # detail view (the digital inputs).
    xdotool mousemove --window "$id" 300 142 click 1
    sleep 0.3
    xdotool mousemove --window "$id" 300 513 click 1
    sleep 0.5
    xwd -id "$id" -silent > "$1/shot.xwd"
    kill "$pid"
' bash "$work"
convert "$work/shot.xwd" docs/screenshot.png
echo "docs/screenshot.png written"
