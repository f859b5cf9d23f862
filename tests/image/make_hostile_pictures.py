#!/usr/bin/env python3
"""Makes the pictures of the hostile-file tests with Python and Debian's own encoders:
    make_hostile_pictures.py FOLDER
FOLDER/hostile holds one file per known attack on the PNG, WebP and HEIF decoders, each built
to the attack's description; FOLDER/real holds the large real pictures that must still show.
Writes only into FOLDER, which it creates; FOLDER/stamp last. Prints each file's size.
"""

import os
import struct
import subprocess
import sys
import tempfile
import time
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import heif_boxes as heif  # noqa: E402

TEXT_CHUNKS = 64  # each inflates to 7.9 MB: far beyond any budget, yet made in moments
TEXT_BYTES = 7_900_000  # within libpng's 8 MB limit on a chunk, which the decoder sets


def run(*command, **kwargs):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, **kwargs)


def run_all(commands):
    """Runs the commands two at a time, the cores this machine has."""
    waiting, running = list(commands), []
    while waiting or running:
        while waiting and len(running) < 2:
            running.append(subprocess.Popen(waiting.pop(0), stdout=subprocess.DEVNULL))
        done = running.pop(0)
        if done.wait() != 0:
            raise SystemExit("failed: %s" % " ".join(done.args))


# PNG ----------------------------------------------------------------------------------------

def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def ihdr(width, height, depth, colour, interlaced=False):
    return chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, colour, 0, 0,
                                      int(interlaced)))


PNG = b"\x89PNG\r\n\x1a\n"
IEND = chunk(b"IEND", b"")


def deflate(pieces, level=6, runs=False):
    """One zlib stream of the byte strings; runs of zeros go fast as runs alone."""
    packer = zlib.compressobj(level, zlib.DEFLATED, 15, 9,
                              zlib.Z_RLE if runs else zlib.Z_DEFAULT_STRATEGY)
    return b"".join(packer.compress(p) for p in pieces) + packer.flush()


def filtered(rows):
    """Each row unfiltered, or as zeros under the Up filter when it repeats the row above."""
    above = None
    for row in rows:
        yield b"\2" + bytes(len(row)) if row == above else b"\0" + row
        above = row


def png(width, height, rows, depth=8, colour=2, interlaced=False, before=(), level=6):
    return PNG + ihdr(width, height, depth, colour, interlaced) + b"".join(before) + \
        chunk(b"IDAT", deflate(filtered(rows), level)) + IEND


def zero_rows(width, height, bits, interlaced):
    """The filtered rows of an all-zero picture: pass by pass when interlaced."""
    passes = [(0, 8, 0, 8), (4, 8, 0, 8), (0, 4, 4, 8), (2, 4, 0, 4), (0, 2, 2, 4),
              (1, 2, 0, 2), (0, 1, 1, 2)] if interlaced else [(0, 1, 0, 1)]
    for x0, dx, y0, dy in passes:
        columns = (width - x0 + dx - 1) // dx
        lines = (height - y0 + dy - 1) // dy
        if columns and lines:
            row = bytes(1 + (columns * bits + 7) // 8)
            block = row * max(1, (1 << 22) // len(row))
            whole, rest = divmod(lines, len(block) // len(row))
            for _ in range(whole):
                yield block
            yield row * rest


def zeros_png(width, height, depth, colour, bits, interlaced=False):
    """A picture of zeros in one IDAT, as small as deflate makes it."""
    return PNG + ihdr(width, height, depth, colour, interlaced) + \
        chunk(b"IDAT", deflate(zero_rows(width, height, bits, interlaced), 9, True)) + IEND


def text_pngs(small_rows):
    """Text chunks: many that inflate to megabytes, one that claims 2 GB, one too long."""
    text = zlib.compress(b"a" * TEXT_BYTES, 9)
    ztxt = chunk(b"zTXt", b"Comment\0\0" + text)
    itxt = chunk(b"iTXt", b"Comment\0\1\0\0\0" + text)
    return {
        "png-ztxt-many.png": png(64, 48, small_rows, before=[ztxt] * TEXT_CHUNKS),
        "png-itxt-many.png": png(64, 48, small_rows, before=[itxt] * TEXT_CHUNKS),
        # 44 bytes: the chunk's length says 2 GB and the file ends.
        "png-text-length-lie.png": PNG + ihdr(64, 48, 8, 2) + struct.pack(">I", 0x7FFFFFFF) +
        b"tEXta\0b",
        "png-text-9mb.png": png(64, 48, small_rows,
                                before=[chunk(b"tEXt", b"Comment\0" + b"a" * 9_000_000)]),
    }


def size_pngs():
    return {
        "png-grey1-52000.png": zeros_png(52000, 52000, 1, 0, 1),
        "png-grey1-13000-interlaced.png": zeros_png(13000, 13000, 1, 0, 1, True),
        "png-rgba16-11500-interlaced.png": zeros_png(11500, 11500, 16, 6, 64, True),
    }


# WebP ---------------------------------------------------------------------------------------

class Bits:
    """Bits written as the lossless format reads them: least significant first."""

    def __init__(self):
        self.out, self.value, self.count = bytearray(), 0, 0

    def put(self, value, bits):
        self.value |= value << self.count
        self.count += bits
        while self.count >= 8:
            self.out.append(self.value & 255)
            self.value >>= 8
            self.count -= 8

    def bytes(self):
        return bytes(self.out) + (bytes([self.value]) if self.count else b"")


def one_symbol_code(bits, symbol):
    """A prefix code of one symbol, which costs no bits per pixel."""
    bits.put(1, 1)  # simple
    bits.put(0, 1)  # one symbol
    wide = symbol > 1
    bits.put(int(wide), 1)
    bits.put(symbol, 8 if wide else 1)


def two_symbol_code(bits, last):
    """A prefix code of symbols 0 and last: cheap to check, 19 bits to read."""
    bits.put(1, 1)  # simple
    bits.put(1, 1)  # two symbols
    bits.put(1, 1)
    bits.put(0, 8)
    bits.put(last, 8)


def one_colour_group(bits, argb):
    a, r, g, b = (argb >> 24) & 255, (argb >> 16) & 255, (argb >> 8) & 255, argb & 255
    for symbol in (g, r, b, a, 0):  # green and lengths, red, blue, alpha, distance
        one_symbol_code(bits, symbol)


def vp8l(width, height, groups=1):
    """A lossless picture of one opaque colour whose every pixel takes no bits. With groups,
    a one-pixel entropy picture names the last of so many prefix-code groups, each of which
    the decoder must read and check."""
    bits = Bits()
    bits.put(0x2F, 8)
    bits.put(width - 1, 14)
    bits.put(height - 1, 14)
    bits.put(0, 1)  # no alpha
    bits.put(0, 3)  # version
    bits.put(0, 1)  # no transform
    bits.put(0, 1)  # no colour cache
    if groups == 1:
        bits.put(0, 1)
    else:
        bits.put(1, 1)
        bits.put(7, 3)  # blocks of 512 pixels: one for the whole picture
        bits.put(0, 1)  # the entropy picture: no colour cache, one colour naming the group
        one_colour_group(bits, (groups - 1) << 8)
    for _ in range(groups - 1):  # the groups no pixel uses
        for last in (255, 255, 255, 255, 39):
            two_symbol_code(bits, last)
    one_colour_group(bits, 0xFF4080C0)
    return bits.bytes()


def riff_chunk(kind, data):
    return kind + struct.pack("<I", len(data)) + data + b"\0" * (len(data) & 1)


def riff(*chunks):
    body = b"WEBP" + b"".join(chunks)
    return b"RIFF" + struct.pack("<I", len(body)) + body


def vp8x(width, height, flags=0):
    return riff_chunk(b"VP8X", bytes([flags, 0, 0, 0]) + (width - 1).to_bytes(3, "little") +
                      (height - 1).to_bytes(3, "little"))


def animation(width, height, frame, padding=0):
    """An animation of one frame over the whole canvas, padded with an unknown chunk."""
    anmf = bytes(6) + (width - 1).to_bytes(3, "little") + (height - 1).to_bytes(3, "little") + \
        (100).to_bytes(3, "little") + b"\0" + riff_chunk(b"VP8L", frame)
    chunks = [vp8x(width, height, 0x02), riff_chunk(b"ANIM", bytes(4) + b"\0\0"),
              riff_chunk(b"ANMF", anmf)]
    if padding:
        chunks.append(riff_chunk(b"PADD", bytes(padding)))
    return riff(*chunks)


def webps(lossy_small):
    lossy = lossy_small[12:]  # its VP8 chunk
    width, height = struct.unpack("<HH", lossy[14:18])
    return {
        "webp-lossless-5657-tiny.webp": riff(riff_chunk(b"VP8L", vp8l(5657, 5657))),
        "webp-lossless-16383-padded.webp": riff(riff_chunk(b"VP8L", vp8l(16383, 16383) +
                                                           bytes(1 << 20))),
        "webp-anim-11585-padded.webp": animation(11585, 11585, vp8l(11585, 11585), 600_000),
        "webp-anim-5657-tiny.webp": animation(5657, 5657, vp8l(5657, 5657)),
        "webp-unknown-chunk-30mb.webp": riff(vp8x(width & 0x3FFF, height & 0x3FFF),
                                             riff_chunk(b"ZZZZ", bytes(30_000_000)), lossy),
        "webp-lossless-65536-groups.webp": riff(riff_chunk(b"VP8L", vp8l(512, 512, 65536))),
    }


# HEIF ---------------------------------------------------------------------------------------

def coded(path):
    """The primary item's data and decoder setup (hvcC or av1C) of a file heif-enc made."""
    source = heif.Source(open(path, "rb").read())
    item = source.images()[0]
    kind = source.types[item]
    return kind, source.data[item], source.property(item, b"hvcC" if kind == b"hvc1" else b"av1C")


def heifs(work):
    small = coded(os.path.join(work, "small.heic"))
    kind, data, hvcc = small

    def overlay(width, height, target):
        """An overlay whose second layer is target: an image, the Exif item or no item."""
        file = heif.Writer()
        top = file.item(b"iovl", heif.overlay_data(width, height, [(0, 0), (0, 0)]),
                        [heif.ispe(64, 64)])
        layer = file.item(kind, data, [hvcc, heif.ispe(64, 64)], hidden=True)
        exif = file.item(b"Exif", heif.exif_data(), hidden=True)
        file.reference(b"cdsc", exif, [top])
        file.reference(b"dimg", top, [layer, {"exif": exif, "missing": 99}.get(target, layer)])
        return file.build()

    def grid(declared, labelled, tile, tile_label, rows, columns):
        """A grid whose header declares declared x declared and whose ispe says labelled x
        labelled, of rows x columns copies of one coded tile, each labelled tile_label."""
        tile_kind, tile_data, tile_setup = tile
        file = heif.Writer()
        top = file.item(b"grid", heif.grid_data(rows, columns, declared, declared),
                        [heif.ispe(labelled, labelled)])
        tiles = [file.item(tile_kind, tile_data, [tile_setup, heif.ispe(tile_label, tile_label)],
                           hidden=True) for _ in range(rows * columns)]
        file.reference(b"dimg", top, tiles)
        return file.build()

    def single(coded_item, width, height):
        file = heif.Writer()
        file.item(coded_item[0], coded_item[1], [coded_item[2], heif.ispe(width, height)])
        return file.build()

    flat = {size: coded(os.path.join(work, "flat-%d.heic" % size)) for size in (4096, 8192)}
    return {
        "heic-overlay-missing-item.heic": overlay(64, 64, "missing"),
        "heic-overlay-exif-item.heic": overlay(64, 64, "exif"),
        "heic-grid-65000.heic": grid(65000, 64, small, 64, 1, 1),
        "heic-overlay-65000.heic": overlay(65000, 65000, "image"),
        "heic-grid-20000.heic": grid(20000, 64, small, 64, 1, 1),
        "heic-ispe-64-over-8192.heic": single(flat[8192], 64, 64),
        "heic-grid-4096-tiles-labelled-64.heic": grid(128, 128, flat[4096], 64, 2, 2),
        "heic-flat-5600.heic": open(os.path.join(work, "flat-5600.heic"), "rb").read(),
        "avif-flat-4096.avif": open(os.path.join(work, "flat-4096.avif"), "rb").read(),
    }


# Sources ------------------------------------------------------------------------------------

class Photo:
    """A photo-like colour field (plasma, blur and grain, as scripts/make-photo.sh makes it),
    made once at 2000x1500 and laid out as often as a larger picture needs, every other copy
    mirrored: no encoder looks that far back for a match."""

    BASE = (2000, 1500)

    def __init__(self):
        width, height = self.BASE
        self.rows = []
        for band in range(2):
            raw = subprocess.run(
                ["convert", "-size", "%dx%d" % (width, height // 2), "-seed", str(71 + band),
                 "plasma:fractal", "-blur", "0x1.5", "-attenuate", "0.4", "+noise", "Gaussian",
                 "-depth", "8", "rgb:-"], check=True, stdout=subprocess.PIPE).stdout
            self.rows += [raw[y * width * 3:(y + 1) * width * 3] for y in range(height // 2)]

    def row(self, y, width):
        base_width, base_height = self.BASE
        source = self.rows[y % base_height if (y // base_height) % 2 == 0 else
                           base_height - 1 - y % base_height]
        out = b""
        for copy in range((width + base_width - 1) // base_width):
            out += source if copy % 2 == 0 else source[::-1]
        return out[:width * 3]

    def rows_of(self, width, height, x0=0, y0=0):
        return (self.row(y0 + y, x0 + width)[x0 * 3:] for y in range(height))


def screenshot_rows(width, height, seed, lines_in=2):
    """A desktop of windows holding paragraphs of glyph-like marks, one line in lines_in
    written: what a screen grab compresses like. Deterministic, from a small linear
    congruential sequence."""
    state = [seed]

    def rand(n):
        state[0] = (state[0] * 1103515245 + 12345) & 0x7FFFFFFF
        return (state[0] >> 8) % n

    glyphs = []
    for _ in range(96):
        columns = [rand(256) | 0x18 for _ in range(7)]
        glyphs.append([bytes(b for c in columns for b in ((40, 40, 48) if c >> (y % 8) & 1 and
                                                              y < 11 else (250, 250, 250)))
                       + b"\xfa" * 3 for y in range(14)])
    desktop = b"".join(bytes((30 + x * 60 // width, 80, 120)) for x in range(width))
    screen = [bytearray(desktop) for _ in range(height)]
    windows = [(rand(width // 2), rand(height // 2), width // 3 + rand(width // 2),
                height // 3 + rand(height // 2)) for _ in range(5)]
    for left, top, w, h in windows:
        w, h = min(w, width - left), min(h, height - top)
        title = bytes((60, 90, 160)) * w
        for y in range(top, min(top + 28, top + h)):
            screen[y][left * 3:(left + w) * 3] = title
        body = b"\xfa" * (3 * w)
        for y in range(top + 28, top + h):
            screen[y][left * 3:(left + w) * 3] = body
        for line_top in range(top + 40, top + h - 14, 18):
            if rand(lines_in):
                continue
            x = left + 12
            line = [bytearray() for _ in range(14)]
            while x + 8 < left + w - 12:
                word = [glyphs[rand(96)] for _ in range(1 + rand(9))]
                for glyph in word:
                    for y in range(14):
                        line[y] += glyph[y]
                for y in range(14):
                    line[y] += b"\xfa" * 24
                x += 8 * len(word) + 8
                if rand(4) == 0:
                    break
            for y in range(14):
                fit = min(len(line[y]), (left + w - 12) * 3 - (left + 12) * 3)
                screen[line_top + y][(left + 12) * 3:(left + 12) * 3 + fit] = line[y][:fit]
    return (bytes(r) for r in screen)


def reals(work, photo, out):
    """The real pictures: name, their pixel count, the command or bytes that make them."""
    def source_png(name, width, height, rows):
        path = os.path.join(work, name)
        with open(path, "wb") as f:
            f.write(png(width, height, rows, level=1))
        return path

    photo48 = source_png("photo-8000x6000.png", 8000, 6000, photo.rows_of(8000, 6000))
    photo24 = source_png("photo-6000x4000.png", 6000, 4000, photo.rows_of(6000, 4000))
    shot16 = source_png("shot-4896x3264.png", 4896, 3264, screenshot_rows(4896, 3264, 5, 1))
    plain = source_png("photo-640x480.png", 640, 480, photo.rows_of(640, 480, 300, 200))
    deep = os.path.join(work, "photo16-640x480.png")
    with open(deep, "wb") as f:
        f.write(png(640, 480, (bytes(b for v in row for b in (v, v)) for row in
                               photo.rows_of(640, 480, 300, 200)), depth=16))
    tiles = [source_png("tile-%02d.png" % i, 512, 512,
                        photo.rows_of(512, 512, 512 * (i % 8), 512 * (i // 8)))
             for i in range(48)]
    run_all([
        ["heif-enc", "-q", "60", "-p", "preset=ultrafast", photo48, "-o",
         os.path.join(out, "heic-photo-8000x6000.heic")],
        ["cwebp", "-quiet", "-q", "80", "-m", "0", photo24, "-o",
         os.path.join(out, "webp-photo-6000x4000.webp")],
        ["cwebp", "-quiet", "-lossless", "-z", "0", shot16, "-o",
         os.path.join(out, "webp-screenshot-4896x3264.webp")],
        ["heif-enc", "-q", "60", "-p", "preset=ultrafast", *tiles, "-o",
         os.path.join(work, "tiles.heic")],
        ["heif-enc", "-q", "80", "-p", "preset=ultrafast", plain, "-o",
         os.path.join(work, "plain.heic")],
        ["heif-enc", "-q", "80", "-b", "10", "-p", "preset=ultrafast", deep, "-o",
         os.path.join(work, "plain-10bit.heic")],
    ])

    # As an iPhone writes it: 8x6 tiles of 512, cut to 4032x3024, with Exif.
    source = heif.Source(open(os.path.join(work, "tiles.heic"), "rb").read())
    phone = heif.Writer()
    top = phone.item(b"grid", heif.grid_data(6, 8, 4032, 3024), [heif.ispe(4032, 3024)])
    cells = [phone.item(b"hvc1", source.data[i], [source.property(i, b"hvcC"),
                                                  heif.ispe(512, 512)], hidden=True)
             for i in source.images()]
    phone.reference(b"dimg", top, cells)
    exif = phone.item(b"Exif", heif.exif_data(), hidden=True)
    phone.reference(b"cdsc", exif, [top])
    made = {"heic-grid-4032x3024.heic": phone.build()}

    # The same coded picture, plain and mirrored: both must show, the second mirrored. The
    # library mirrors 8 bits a sample only.
    for bits in ("", "-10bit"):
        kind, data, hvcc = coded(os.path.join(work, "plain%s.heic" % bits))
        for name, extra in (("plain", []), ("mirrored", [heif.imir(0)])):
            file = heif.Writer()
            file.item(kind, data, [hvcc, heif.ispe(640, 480)] + extra)
            made["heic-%s%s-640x480.heic" % (name, bits)] = file.build()

    # 16 bits a sample: the photo's values above a grain of their own, as a raw developer's
    # output has; kept from the photo's 8-bit rows in the high bytes.
    def deep_rows():
        for row in photo.rows_of(8000, 6000):
            wide = bytearray(2 * len(row))
            wide[0::2] = row
            wide[1::2] = os.urandom(len(row))
            yield bytes(wide)
    made["png-photo16-8000x6000.png"] = png(8000, 6000, deep_rows(), depth=16, level=1)
    made["png-screenshot-3840x2160.png"] = png(3840, 2160, screenshot_rows(3840, 2160, 5),
                                               level=9)
    return made


def make_sources(work):
    """Small and flat HEIF and AVIF pictures, coded by heif-enc, for the HEIF rows."""
    with open(os.path.join(work, "small.png"), "wb") as f:
        f.write(png(64, 64, (b"".join(bytes((x * 4, y * 4, 128)) for x in range(64))
                             for y in range(64))))
    commands = [["heif-enc", "-q", "50", os.path.join(work, "small.png"), "-o",
                 os.path.join(work, "small.heic")]]
    for size in (4096, 5600, 8192):
        grey = os.path.join(work, "flat-%d.y4m" % size)
        with open(grey, "wb") as f:
            f.write(b"YUV4MPEG2 W%d H%d F25:1 Ip A1:1 C420jpeg\nFRAME\n" % (size, size))
            f.write(b"\x80" * (size * size * 3 // 2))
        commands.append(["heif-enc", "-q", "10", "-p", "preset=ultrafast", grey, "-o",
                         os.path.join(work, "flat-%d.heic" % size)])
    flat = os.path.join(work, "flat-4096.png")
    with open(flat, "wb") as f:
        f.write(zeros_png(4096, 4096, 8, 0, 8))
    commands.append(["heif-enc", "-A", "-q", "10", "-p", "speed=9", flat, "-o",
                     os.path.join(work, "flat-4096.avif")])
    commands.append(["cwebp", "-quiet", "-q", "80", os.path.join(work, "small.png"), "-o",
                     os.path.join(work, "small.webp")])
    run_all(commands)


def main():
    if len(sys.argv) != 2:
        raise SystemExit("usage: make_hostile_pictures.py FOLDER")
    out = os.path.abspath(sys.argv[1])
    hostile, real = os.path.join(out, "hostile"), os.path.join(out, "real")
    for folder in (hostile, real):
        os.makedirs(folder, exist_ok=True)
    stamp = os.path.join(out, "stamp")
    if os.path.exists(stamp):
        os.remove(stamp)  # until every file is made again
    begin = time.monotonic()
    with tempfile.TemporaryDirectory(dir=out) as work:
        make_sources(work)
        small_rows = [b"".join(bytes((x * 4, y * 5, 90)) for x in range(64)) for y in range(48)]
        made = {}
        made.update(text_pngs(small_rows))
        made.update(size_pngs())
        made.update(webps(open(os.path.join(work, "small.webp"), "rb").read()))
        made.update(heifs(work))
        for name, data in made.items():
            with open(os.path.join(hostile, name), "wb") as f:
                f.write(data)
        hostile_s = time.monotonic() - begin
        photo = Photo()
        for name, data in reals(work, photo, real).items():
            with open(os.path.join(real, name), "wb") as f:
                f.write(data)
    for folder in (hostile, real):
        for name in sorted(os.listdir(folder)):
            print("%-45s %12d bytes" % (os.path.join(os.path.basename(folder), name),
                                        os.path.getsize(os.path.join(folder, name))))
    print("hostile files in %.1f s, all in %.1f s" % (hostile_s, time.monotonic() - begin))
    open(stamp, "w").close()


if __name__ == "__main__":
    main()
