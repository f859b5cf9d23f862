#!/usr/bin/env bash
# Makes sample pictures for the saver: photo-like JPEGs of varied sizes and shapes (landscape,
# portrait, panorama, square, tiny, large, progressive, greyscale) and a few broken files
# that the show must step over.
#   scripts/make-sample-pictures.sh folder
# Existing pictures are kept. Needs ImageMagick (convert) and libjpeg-turbo-progs (cjpeg).
set -euo pipefail

dir=${1:?usage: make-sample-pictures.sh folder}
mkdir -p "$dir"

# name width height seed hue [cjpeg options...]
photo() {
    local name=$1 width=$2 height=$3 seed=$4 hue=$5
    shift 5
    local out="$dir/$name.jpg"
    [ -s "$out" ] && return 0
    # Sky, a plasma-fractal landscape below a horizon, a sun, blur and grain: the texture and
    # entropy of a photograph, in a different light for each hue.
    local horizon=$((height * 2 / 5))
    convert -size "${width}x${height}" -seed "$seed" plasma:fractal -blur 0x2 -modulate 90,45 \
        \( -size "${width}x${horizon}" gradient:'#6fa8dc-#cfe2f3' \) -geometry +0+0 -composite \
        -fill '#ffe9a8' -draw "circle $((width * 3 / 4)),$((horizon / 2)) $((width * 3 / 4 + height / 14)),$((horizon / 2))" \
        -modulate 100,110,"$hue" -attenuate 0.3 +noise Gaussian -depth 8 ppm:- |
        cjpeg -quality 88 "$@" -outfile "$out.tmp"
    mv "$out.tmp" "$out"
}

photo 01-landscape 1600 1200 11 100
photo 02-portrait 900 1350 12 80
photo 03-panorama 2400 600 13 120
photo 04-square 800 800 14 60
photo 05-tiny 160 120 15 140
photo 06-large 4000 3000 16 100
photo 07-progressive 1280 960 17 90 -progressive
photo 08-greyscale 1024 768 18 100 -grayscale
photo 09-tall 500 1600 19 110
photo 10-wide-small 640 200 20 70

# Broken files: cut short, not a JPEG at all, and empty.
[ -s "$dir/11-cut-short.jpg" ] || head -c 20000 "$dir/01-landscape.jpg" >"$dir/11-cut-short.jpg"
[ -s "$dir/12-not-a-picture.jpg" ] || echo "This is a text file, not a picture." >"$dir/12-not-a-picture.jpg"
: >"$dir/13-empty.jpg"
ls -l "$dir"
