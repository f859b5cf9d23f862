"""HEIF files box by box: reading back the items heif-enc wrote, and writing files whose items,
properties and references are chosen one by one, as a hostile or a phone's file has them."""

import struct


def box(kind, *parts):
    payload = b"".join(parts)
    return struct.pack(">I4s", 8 + len(payload), kind) + payload


def full_box(kind, version, flags, *parts):
    return box(kind, struct.pack(">I", version << 24 | flags), *parts)


def ispe(width, height):
    return full_box(b"ispe", 0, 0, struct.pack(">II", width, height))


def imir(axis):
    return box(b"imir", bytes([axis & 1]))


def irot(quarter_turns):
    return box(b"irot", bytes([quarter_turns & 3]))


def grid_data(rows, columns, width, height):
    large = width > 0xFFFF or height > 0xFFFF
    return struct.pack(">BBBB", 0, int(large), rows - 1, columns - 1) + \
        struct.pack(">II" if large else ">HH", width, height)


def overlay_data(width, height, offsets):
    """An overlay's header: opaque black fill, the canvas, each layer's place."""
    large = width > 0xFFFF or height > 0xFFFF
    field = ">i" if large else ">h"
    return struct.pack(">BB4H", 0, int(large), 0, 0, 0, 0xFFFF) + \
        struct.pack(">II" if large else ">HH", width, height) + \
        b"".join(struct.pack(field, x) + struct.pack(field, y) for x, y in offsets)


def exif_data():
    """A minimal Exif block: an empty little-endian TIFF directory."""
    return struct.pack(">I", 0) + b"II*\0" + struct.pack("<IH", 8, 0) + b"\0" * 4


def children(data, start, end):
    """(kind, payload start, end) of each box in data[start:end]."""
    at = start
    while at + 8 <= end:
        size, kind = struct.unpack(">I4s", data[at:at + 8])
        header = 8
        if size == 1:
            size = struct.unpack(">Q", data[at + 8:at + 16])[0]
            header = 16
        elif size == 0:
            size = end - at
        if size < header or at + size > end:
            raise ValueError("box %r runs past its parent" % kind)
        yield kind, at + header, at + size
        at += size


def _number(data, at, size):
    return int.from_bytes(data[at:at + size], "big"), at + size


class Source:
    """A HEIF file as its items: type, data, property boxes; and the primary item."""

    def __init__(self, data):
        self.types, self.data, self.properties = {}, {}, {}
        meta = next((s, e) for k, s, e in children(data, 0, len(data)) if k == b"meta")
        parts = {k: (s, e) for k, s, e in children(data, meta[0] + 4, meta[1])}
        self.primary = struct.unpack(">H", data[parts[b"pitm"][0] + 4:][:2])[0]
        start, end = parts[b"iinf"]
        version = data[start]
        first = start + (6 if version == 0 else 8)
        for kind, s, e in children(data, first, end):
            if data[s] >= 2:
                item, _, item_type = struct.unpack(">HH4s", data[s + 4:s + 12])
                self.types[item] = item_type
        self._read_locations(data, *parts[b"iloc"])
        start, end = next((s, e) for k, s, e in children(data, *parts[b"iprp"]) if k == b"ipco")
        boxes = [data[s - 8:e] for _, s, e in children(data, start, end)]
        for kind, s, e in children(data, *parts[b"iprp"]):
            if kind == b"ipma":
                self._read_associations(data, s, boxes)

    def _read_locations(self, data, start, _end):
        version = data[start]
        offset_size, length_size = data[start + 4] >> 4, data[start + 4] & 15
        base_size = data[start + 5] >> 4
        index_size = data[start + 5] & 15 if version in (1, 2) else 0
        at = start + 6
        count, at = _number(data, at, 2 if version < 2 else 4)
        for _ in range(count):
            item, at = _number(data, at, 2 if version < 2 else 4)
            if version in (1, 2):
                at += 2  # construction method: heif-enc keeps every item in the file
            at += 2
            base, at = _number(data, at, base_size)
            extents, at = _number(data, at, 2)
            blob = b""
            for _ in range(extents):
                at += index_size
                offset, at = _number(data, at, offset_size)
                length, at = _number(data, at, length_size)
                blob += data[base + offset:base + offset + length]
            self.data[item] = blob

    def _read_associations(self, data, start, boxes):
        version, flags = data[start], int.from_bytes(data[start + 1:start + 4], "big")
        at = start + 4
        count, at = _number(data, at, 4)
        for _ in range(count):
            item, at = _number(data, at, 2 if version < 1 else 4)
            n = data[at]
            at += 1
            found = []
            for _ in range(n):
                value, at = _number(data, at, 2 if flags & 1 else 1)
                index = value & (0x7FFF if flags & 1 else 0x7F)
                if index:
                    found.append(boxes[index - 1])
            self.properties[item] = found

    def images(self):
        """The coded image items, in the order they were written."""
        return [i for i in sorted(self.types) if self.types[i] in (b"hvc1", b"av01")]

    def property(self, item, kind):
        return next(p for p in self.properties[item] if p[4:8] == kind)


# Properties a reader must understand to show the item: its decoder's setup and transforms.
ESSENTIAL = (b"hvcC", b"av1C", b"irot", b"imir")


class Writer:
    """A HEIF file built item by item; equal data and equal properties are stored once, so a
    thousand tiles of one coded picture cost a few bytes each."""

    def __init__(self, brand=b"heic"):
        self.brand = brand
        self.items, self.boxes, self.associations, self.references = [], [], {}, []
        self.primary = None

    def item(self, kind, data, properties=(), hidden=False):
        number = len(self.items) + 1
        self.items.append((number, kind, data, hidden))
        indices = []
        for p in properties:
            if p not in self.boxes:
                self.boxes.append(p)
            indices.append((self.boxes.index(p) + 1, p[4:8] in ESSENTIAL))
        self.associations[number] = indices
        if self.primary is None and not hidden:
            self.primary = number
        return number

    def reference(self, kind, source, targets):
        self.references.append((kind, source, list(targets)))

    def build(self):
        brands = [b"mif1", self.brand] + ([b"miaf"] if self.brand == b"avif" else [])
        ftyp = box(b"ftyp", self.brand, struct.pack(">I", 0), *brands)
        blobs = []
        for _, _, data, _ in self.items:
            if data not in blobs:
                blobs.append(data)
        meta = self._meta([0] * len(self.items))
        start = len(ftyp) + len(meta) + 8
        offsets, at = [], start
        for blob in blobs:
            offsets.append(at)
            at += len(blob)
        return ftyp + self._meta([offsets[blobs.index(d)] for _, _, d, _ in self.items]) + \
            box(b"mdat", *blobs)

    def _meta(self, offsets):
        hdlr = full_box(b"hdlr", 0, 0, struct.pack(">I4s12x", 0, b"pict"), b"\0")
        pitm = full_box(b"pitm", 0, 0, struct.pack(">H", self.primary))
        infe = [full_box(b"infe", 2, int(hidden), struct.pack(">HH4s", n, 0, kind), b"\0")
                for n, kind, _, hidden in self.items]
        iinf = full_box(b"iinf", 0, 0, struct.pack(">H", len(infe)), *infe)
        locations = [struct.pack(">HHHII", n, 0, 1, offsets[i] if offsets else 0, len(d))
                     for i, (n, _, d, _) in enumerate(self.items)]
        iloc = full_box(b"iloc", 0, 0, bytes([0x44, 0x00]), struct.pack(">H", len(self.items)),
                        *locations)
        refs = [box(kind, struct.pack(">HH", source, len(targets)),
                    *(struct.pack(">H", t) for t in targets))
                for kind, source, targets in self.references]
        iref = full_box(b"iref", 0, 0, *refs) if refs else b""
        wide = len(self.boxes) > 0x7F
        entries = [struct.pack(">HB", n, len(a)) + b"".join(
            struct.pack(">H", i | (0x8000 if e else 0)) if wide else bytes([i | (0x80 if e else 0)])
            for i, e in a) for n, a in self.associations.items()]
        ipma = full_box(b"ipma", 0, int(wide), struct.pack(">I", len(entries)), *entries)
        iprp = box(b"iprp", box(b"ipco", *self.boxes), ipma)
        return full_box(b"meta", 0, 0, hdlr, pitm, iinf, iloc, iref, iprp)
