#!/bin/sh
# Renders the two pictures of the precautions form from their SVG sources into
# the 24-bit uncompressed BMP resources 131 (picture 1) and 1044 (picture 2).
# Needs rsvg-convert (librsvg2-bin) and ImageMagick; the build uses the BMPs
# committed beside this script and needs neither.
set -eu
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

render() { # svg width height bmp
    rsvg-convert --width "$2" --height "$3" "$1" -o "$tmp/picture.png"
    # Flattened onto white without alpha: BMP3 with TrueColor writes 24 bits
    # per pixel, BI_RGB, no colour table.
    convert "$tmp/picture.png" -background white -alpha remove -alpha off \
        -type TrueColor "BMP3:$4"
    echo "rendered $4 from $1 (${2}x$3)"
}

render picture1.svg 315 199 131.bmp
render picture2.svg 500 266 1044.bmp
