#!/usr/bin/env bash
# Makes the photo-like pictures the image benchmark reads: 12, 24 and 48 megapixel baseline
# JPEGs (4:2:0, quality 90), a progressive copy of the 24 megapixel one, and a copy of it that
# a camera held upright would write: an Exif block whose orientation asks for a quarter turn.
# With --large also the largest real pictures that must still show, enlarged from those: about
# 100 megapixels baseline, 54 megapixels progressive, 16000x16000 grey progressive.
# Beside them the other formats a phone folder holds, made from the same photos: a 12 megapixel
# HEIC, a 24 megapixel WebP and a 24 megapixel PNG.
#   scripts/make-bench-pictures.sh [--large] [folder]    (default: build/bench-pictures)
# Existing pictures are kept. Needs ImageMagick (convert), libjpeg-turbo-progs, libheif-examples,
# webp and netpbm.
set -euo pipefail

large=0
if [ "${1:-}" = "--large" ]; then
    large=1
    shift
fi
dir=${1:-"$(dirname "$0")/../build/bench-pictures"}
mkdir -p "$dir"

make_photo() {  # name width height seed
    [ -s "$dir/$1.jpg" ] && return 0
    echo "making $dir/$1.jpg ($2x$3)"
    "$(dirname "$0")/make-photo.sh" "$dir/$1.jpg" "$2" "$3" "$4" -sample 2x2
}

make_photo photo-2mp 1920 1080 2
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
make_other() {  # name command...
    local out="$dir/$1"
    shift
    [ -s "$out" ] && return 0
    echo "making $out"
    "$@" "$out.tmp"
    mv "$out.tmp" "$out"
}
to_heic() { heif-enc -q 75 -o "$2" "$1" >/dev/null; }
to_webp() { cwebp -quiet -q 80 "$1" -o "$2"; }
to_png() { djpeg "$1" | pnmtopng >"$2"; }
# A screen's worth in each format: what the decoding child costs beside the decode itself.
make_other photo-2mp.heic to_heic "$dir/photo-2mp.jpg"
make_other photo-2mp.webp to_webp "$dir/photo-2mp.jpg"
make_other photo-2mp.png to_png "$dir/photo-2mp.jpg"
make_other photo-12mp.heic to_heic "$dir/photo-12mp.jpg"
make_other photo-24mp.webp to_webp "$dir/photo-24mp.jpg"
make_other photo-24mp.png to_png "$dir/photo-24mp.jpg"

make_enlarged() {  # name source scale cjpeg-options...
    local out="$dir/$1.jpg" source="$dir/$2.jpg" scale=$3
    shift 3
    [ -s "$out" ] && return 0
    echo "making $out"
    djpeg -scale "$scale" "$source" | cjpeg "$@" -outfile "$out.tmp"
    mv "$out.tmp" "$out"
}

if [ "$large" = 1 ]; then
    make_enlarged photo-96mp photo-24mp 16/8 -quality 97 -sample 2x2
    make_enlarged photo-54mp-progressive photo-24mp 12/8 -quality 93 -sample 2x2 -progressive
    if [ ! -s "$dir/grey-16000-progressive.jpg" ]; then
        echo "making $dir/grey-16000-progressive.jpg"
        # 16000x12000 from the 48 megapixel photo, then its first 4000 rows once more.
        djpeg -grayscale -scale 16/8 "$dir/photo-48mp.jpg" | tail -c +20 >"$dir/grey.raw.tmp"
        {
            printf 'P5\n16000 16000\n255\n'
            cat "$dir/grey.raw.tmp"
            head -c $(( 16000 * 4000 )) "$dir/grey.raw.tmp"
        } | cjpeg -grayscale -quality 98 -progressive -outfile "$dir/grey-16000-progressive.jpg.tmp"
        rm "$dir/grey.raw.tmp"
        mv "$dir/grey-16000-progressive.jpg.tmp" "$dir/grey-16000-progressive.jpg"
    fi
fi
ls -l "$dir"
