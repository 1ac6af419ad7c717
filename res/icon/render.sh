#!/bin/sh
# Renders the application icon from korvane.svg: PNGs at 16, 24, 32, 48 and 256
# pixels (the Linux desktop uses them) and korvane.ico for the Windows icon
# group 128. Needs rsvg-convert (librsvg2-bin) and ImageMagick; the build uses
# the committed results and needs neither.
set -eu
cd "$(dirname "$0")"
sizes="16 24 32 48 256"
pngs=""
for size in $sizes; do
    rsvg-convert --width "$size" --height "$size" korvane.svg -o "korvane-$size.png"
    pngs="$pngs korvane-$size.png"
done
# shellcheck disable=SC2086 # the list of file names is meant to split
convert $pngs korvane.ico
echo "rendered korvane-{16,24,32,48,256}.png and korvane.ico"
