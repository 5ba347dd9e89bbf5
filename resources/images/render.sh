#!/usr/bin/env bash
# Re-render every icon PNG from its SVG source in src/.
#
# Usage (from anywhere):  bash resources/images/render.sh
# Needs rsvg-convert (Debian/Ubuntu: apt-get install librsvg2-bin).
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

if ! command -v rsvg-convert >/dev/null 2>&1; then
    echo "render.sh: rsvg-convert not found; install librsvg2-bin" >&2
    exit 1
fi

# name  size(px) -- each SVG is drawn on a grid that matches its size
# (or divides it), so strokes land on whole pixels.
icons=(
    "lodvane          64"
    "program          48"
    "chipVerify       48"
    "chipErase        48"
    "script           48"
    "terminal         48"
    "about            48"
    "file             16"
    "reset            24"
    "log-file         24"
    "xrx              24"
    "font             24"
    "off              24"
    "firmware_upgrade 128"
)

for entry in "${icons[@]}"; do
    read -r name size <<<"$entry"
    rsvg-convert --width "$size" --height "$size" \
        --output "$here/$name.png" "$here/src/$name.svg"
    printf '%-18s %4sx%s\n' "$name.png" "$size" "$size"
done

# The application icon in the desktop icon theme's sizes (installed with the
# program under share/icons/hicolor).
for size in 16 24 32 48 64 128 256; do
    out="$here/../icons/hicolor/${size}x${size}/apps"
    mkdir -p "$out"
    rsvg-convert --width "$size" --height "$size" --output "$out/lodvane.png" "$here/src/lodvane.svg"
    printf '%-18s %4sx%s\n' "theme lodvane.png" "$size" "$size"
done
