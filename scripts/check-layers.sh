#!/usr/bin/env bash
# Fails on an include that reaches up: each folder of src/ may include its own headers and those
# of the layers below it, never a layer beside it or above it.
#
#   base -> store -> decode, filter, io, hw -> sim, netcfg -> status, plot -> session -> ui, tools
#   -> main
set -euo pipefail
cd "$(dirname "$0")/../src"

declare -A rank=([base]=0 [store]=1 [decode]=2 [filter]=2 [io]=2 [hw]=2 [sim]=3 [netcfg]=3
                 [status]=4 [plot]=4 [session]=5 [ui]=6 [tools]=6 [main]=7)
status=0
for dir in */; do
    layer=${dir%/}
    if [ -z "${rank[$layer]+set}" ]; then
        echo "src/$layer: a folder that is not a layer"
        status=1
        continue
    fi
    while IFS=: read -r file line text; do
        target=$(sed -E 's/.*#include "([^/"]+)\/.*/\1/' <<<"$text")
        [ "$target" = "$layer" ] && continue
        if [ -z "${rank[$target]+set}" ] || [ "${rank[$target]}" -ge "${rank[$layer]}" ]; then
            echo "src/$file:$line: $layer includes $target: $text"
            status=1
        fi
    done < <(grep -rnE '^\s*#\s*include "[^/"]+/' "$layer" || true)
done
[ $status -eq 0 ] && echo "Layers: no include reaches up"
exit $status
