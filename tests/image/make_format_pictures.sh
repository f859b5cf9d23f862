#!/usr/bin/env bash
# Makes the PNG, WebP and HEIF pictures of the format tests with Debian's own tools, and beside
# each the same pixels as the format's own command-line decoder gives them (x.ppm, or x.pam
# with alpha). Writes only into the folder it is given, which it creates.
#   make_format_pictures.sh FOLDER
set -euo pipefail
out=$1
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out"
cd "$out"
w=97 h=61

# Sources: a photo-like colour field, the same with an alpha ramp, a 16-bit ramp.
convert -size ${w}x${h} -seed 7 plasma:fractal -depth 8 src.ppm
convert src.ppm \( -size ${w}x${h} gradient:white-black \) -alpha off -compose copy_opacity \
  -composite -depth 8 PNG32:src-alpha.png
convert -size ${w}x${h} -depth 16 gradient:'#0123FFFF'-'#FEDC0000' PNG48:png-16.png
convert -size ${w}x${h} -depth 16 gradient:'#0123FFFF'-'#FEDC0000' \
  \( -size ${w}x${h} gradient:white-black \) -alpha off -compose copy_opacity -composite \
  PNG64:png-16-alpha.png

pnmtopng src.ppm >png-rgb.png
pnmtopng -interlace src.ppm >png-interlaced.png
cp src-alpha.png png-alpha.png
convert src.ppm -colors 16 PNG8:png-palette.png
ppmtopgm src.ppm | pnmdepth 3 | pnmtopng >png-grey2.png
for f in png-rgb.png png-interlaced.png png-alpha.png png-palette.png png-grey2.png png-16.png \
  png-16-alpha.png; do
  pngtopam -alphapam "$f" >"${f%.png}.pam"
done
# Reduced by half while read, each pixel the mean of the four it covers.
convert src-alpha.png -crop 96x60+0+0 +repage PNG32:png-even.png
convert png-even.png -background black -alpha remove -scale 50% -depth 8 png-even-half.ppm
pamtopam <png-even-half.ppm >png-even-half.pam

cwebp -quiet -q 80 src-alpha.png -noalpha -o webp-lossy.webp
cwebp -quiet -lossless src-alpha.png -o webp-lossless-alpha.webp
cwebp -quiet -q 80 src-alpha.png -o webp-lossy-alpha.webp
for f in webp-lossy.webp webp-lossless-alpha.webp webp-lossy-alpha.webp; do
  dwebp -quiet -pam "$f" -o "${f%.webp}.pam"
done
# The library's own reduction, as the show asks for it in a 40x30 box: half size, rounded up.
dwebp -quiet -resize 49 31 -pam webp-lossy.webp -o webp-lossy-half.pam
convert src.ppm -flop PNG24:flopped.png
img2webp -loop 0 -lossless src-alpha.png flopped.png -o webp-animated.webp 2>/dev/null
cp png-alpha.pam webp-animated.pam

convert src.ppm PNG24:src.png
heif-enc -q 90 src.png -o heif-rgb.heic >/dev/null
heif-enc -q 90 src-alpha.png -o heif-alpha.heic >/dev/null
heif-enc -q 90 -b 10 png-16.png -o heif-10bit.heic >/dev/null
# AV1 in the same container; its encoder takes even sizes only.
convert src.ppm -crop 96x60+0+0 +repage PNG24:src-even.png
heif-enc -A src-even.png -o heif-av1.avif >/dev/null
for f in heif-rgb.heic heif-alpha.heic heif-10bit.heic heif-av1.avif; do
  heif-convert "$f" "${f%.*}-ref.png" >/dev/null
  pngtopam -alphapam "${f%.*}-ref.png" >"${f%.*}.pam"
done

# The file's own turn and mirror on heif-enc's picture (a one-tile grid that crops the coded
# tile): irot a quarter anticlockwise then imir left to right, and imir top to bottom alone.
PYTHONPATH=$here python3 - <<'PY'
import heif_boxes as heif

source = heif.Source(open("heif-rgb.heic", "rb").read())
tile = source.images()[0]
for name, transforms in (("turned", [heif.irot(1), heif.imir(0)]), ("mirrored", [heif.imir(1)])):
    file = heif.Writer()
    grid = file.item(b"grid", heif.grid_data(1, 1, 97, 61), [heif.ispe(97, 61)] + transforms)
    cell = file.item(b"hvc1", source.data[tile], source.properties[tile], hidden=True)
    file.reference(b"dimg", grid, [cell])
    open("heif-%s.heic" % name, "wb").write(file.build())
PY
pamflip -ccw heif-rgb.pam | pamflip -lr >heif-turned.pam
pamflip -tb heif-rgb.pam >heif-mirrored.pam

# A PNG named as a JPEG, files cut short, headers claiming 60000x60000.
cp png-rgb.png mislabelled.jpg
cp png-rgb.pam mislabelled.pam
for f in png-rgb.png webp-lossy.webp heif-rgb.heic; do
  size=$(stat -c %s "$f")
  head -c $((size * 2 / 3)) "$f" >"truncated-$f"
done
python3 - <<'PY'
import struct, zlib
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
ihdr = struct.pack(">IIBBBBB", 60000, 60000, 8, 2, 0, 0, 0)
row = b"\0" + b"\x80" * 3 * 60000
idat = zlib.compress(row * 4)
open("huge-png.png", "wb").write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", idat) + chunk(b"IEND", b""))

data = open("webp-lossy.webp", "rb").read()
vp8x = b"VP8X" + struct.pack("<I", 10) + bytes([0, 0, 0, 0]) + (60000 - 1).to_bytes(3, "little") * 2
body = b"WEBP" + vp8x + data[12:]
open("huge-webp.webp", "wb").write(b"RIFF" + struct.pack("<I", len(body)) + body)

heic = bytearray(open("heif-rgb.heic", "rb").read())
at = heic.find(b"ispe")
while at >= 0:
    heic[at + 8:at + 16] = struct.pack(">II", 60000, 60000)
    at = heic.find(b"ispe", at + 4)
open("huge-heif.heic", "wb").write(heic)
PY
touch stamp
