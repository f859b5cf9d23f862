#!/usr/bin/env bash
# Makes one photo-like JPEG, unless it exists: a plasma fractal with blur and grain has the
# texture and entropy of a photograph.
#   scripts/make-photo.sh OUT WIDTH HEIGHT SEED [cjpeg options...]
# Needs ImageMagick (convert) and libjpeg-turbo-progs (cjpeg); quality 90 unless given.
set -euo pipefail

out=$1 width=$2 height=$3 seed=$4
shift 4
[ -s "$out" ] && exit 0
# Made in bands of 1000 rows, which keeps ImageMagick within its default resource limits.
{
    printf 'P6\n%d %d\n255\n' "$width" "$height"
    y=0 band=0
    while [ "$y" -lt "$height" ]; do
        rows=$(( height - y < 1000 ? height - y : 1000 ))
        convert -size "${width}x$rows" -seed $(( seed * 100 + band )) plasma:fractal \
            -blur 0x1.5 -attenuate 0.4 +noise Gaussian -depth 8 rgb:-
        y=$(( y + rows ))
        band=$(( band + 1 ))
    done
} | cjpeg -quality 90 "$@" -outfile "$out.tmp"
mv "$out.tmp" "$out"
