#!/usr/bin/env bash
# Makes the photo-like pictures the image benchmark reads: 12, 24 and 48 megapixel baseline
# JPEGs (4:2:0, quality 90), a progressive copy of the 24 megapixel one, and a copy of it that
# a camera held upright would write: an Exif block whose orientation asks for a quarter turn.
#   scripts/make-bench-pictures.sh [folder]    (default: build/bench-pictures)
# Existing pictures are kept. Needs ImageMagick (convert) and libjpeg-turbo-progs.
set -euo pipefail

dir=${1:-"$(dirname "$0")/../build/bench-pictures"}
mkdir -p "$dir"

make_photo() {  # name width height seed
    [ -s "$dir/$1.jpg" ] && return 0
    echo "making $dir/$1.jpg ($2x$3)"
    "$(dirname "$0")/make-photo.sh" "$dir/$1.jpg" "$2" "$3" "$4" -sample 2x2
}

make_photo photo-12mp 4000 3000 12
make_photo photo-24mp 6000 4000 24
make_photo photo-48mp 8000 6000 48
if [ ! -s "$dir/photo-24mp-progressive.jpg" ]; then
    echo "making $dir/photo-24mp-progressive.jpg"
    jpegtran -progressive -copy none -outfile "$dir/photo-24mp-progressive.jpg.tmp" \
        "$dir/photo-24mp.jpg"
    mv "$dir/photo-24mp-progressive.jpg.tmp" "$dir/photo-24mp-progressive.jpg"
fi
if [ ! -s "$dir/photo-24mp-oriented.jpg" ]; then
    echo "making $dir/photo-24mp-oriented.jpg"
    # APP1 after the start marker: "Exif", big-endian TIFF header, IFD0 with the one entry
    # Orientation (0x0112) SHORT 1 = 6, no next IFD.
    {
        head -c 2 "$dir/photo-24mp.jpg"
        printf '\xff\xe1\x00\x22Exif\x00\x00MM\x00\x2a\x00\x00\x00\x08'
        printf '\x00\x01\x01\x12\x00\x03\x00\x00\x00\x01\x00\x06\x00\x00\x00\x00\x00\x00'
        tail -c +3 "$dir/photo-24mp.jpg"
    } >"$dir/photo-24mp-oriented.jpg.tmp"
    mv "$dir/photo-24mp-oriented.jpg.tmp" "$dir/photo-24mp-oriented.jpg"
fi
ls -l "$dir"
