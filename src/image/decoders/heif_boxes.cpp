#include "image/decoders/heif_boxes.h"

#include <algorithm>
#include <cstring>
#include <vector>
#include "image/decoders/picture_limits.h"

namespace {

// Real files keep their item boxes within some kilobytes; hundreds of thousands of items fit.
constexpr uint64_t MetaBytesLimit = 16u << 20;
constexpr uint64_t ItemDataLimit = 1u << 16;  // a grid or overlay header with its offsets
constexpr uint64_t CodedStartBytes = 4096;    // where a coded stream's sequence header lies
constexpr int TopLevelBoxesLimit = 1024;
constexpr int DerivationDepthLimit = 8;
constexpr size_t NeededItemsLimit = 4096;

// Bounded big-endian reads over one span of bytes; a read past the end marks it broken.
class Bytes {
  public:
    Bytes() = default;
    Bytes(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}
    bool ok() const { return ok_; }
    size_t left() const { return ok_ ? static_cast<size_t>(end_ - p_) : 0; }
    const uint8_t* at() const { return p_; }
    uint64_t Number(int bytes) {
        if (bytes < 0 || bytes > 8 || left() < static_cast<size_t>(bytes)) {
            ok_ = false;
            return 0;
        }
        uint64_t v = 0;
        for (int i = 0; i < bytes; ++i) {
            v = v << 8 | *p_++;
        }
        return v;
    }
    uint32_t U8() { return static_cast<uint32_t>(Number(1)); }
    uint32_t U16() { return static_cast<uint32_t>(Number(2)); }
    uint32_t U32() { return static_cast<uint32_t>(Number(4)); }
    void Skip(size_t n) {
        if (left() < n) {
            ok_ = false;
            return;
        }
        p_ += n;
    }
    Bytes Take(size_t n) {
        if (left() < n) {
            ok_ = false;
            return Bytes();
        }
        Bytes part(p_, n);
        p_ += n;
        return part;
    }

  private:
    const uint8_t* p_ = nullptr;
    const uint8_t* end_ = nullptr;
    bool ok_ = true;
};

// One box inside a span: its type and its payload.
struct Box {
    char type[4];
    Bytes payload;
};

bool NextBox(Bytes* span, Box* box) {
    if (span->left() < 8) {
        return false;
    }
    uint64_t size = span->U32();
    std::memcpy(box->type, span->at(), 4);
    span->Skip(4);
    uint64_t header = 8;
    if (size == 1) {
        size = span->Number(8);
        header = 16;
    } else if (size == 0) {
        size = header + span->left();
    }
    if (!span->ok() || size < header || size - header > span->left()) {
        return false;
    }
    box->payload = span->Take(static_cast<size_t>(size - header));
    return span->ok();
}

bool Is(const char* type, const char* name) {
    return std::memcmp(type, name, 4) == 0;
}

// Bit reads for the coded streams' sequence headers.
class Bits {
  public:
    explicit Bits(std::vector<uint8_t> data) : data_(std::move(data)) {}
    bool ok() const { return ok_; }
    uint32_t Read(int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i) {
            if (bit_ >= data_.size() * 8) {
                ok_ = false;
                return 0;
            }
            v = v << 1 | ((data_[bit_ / 8] >> (7 - bit_ % 8)) & 1u);
            ++bit_;
        }
        return v;
    }
    void Skip(int n) {
        for (int i = 0; i < n && ok_; ++i) {
            Read(1);
        }
    }
    // Exp-Golomb, as HEVC codes sizes.
    uint32_t Golomb() {
        int zeros = 0;
        while (ok_ && Read(1) == 0) {
            if (++zeros > 31) {
                ok_ = false;
                return 0;
            }
        }
        return static_cast<uint32_t>((uint64_t{1} << zeros) - 1 + Read(zeros));
    }
    // AV1's variable-length code.
    uint32_t Uvlc() {
        int zeros = 0;
        while (ok_ && Read(1) == 0) {
            if (++zeros >= 32) {
                ok_ = false;
                return 0;
            }
        }
        return static_cast<uint32_t>((uint64_t{1} << zeros) - 1 + Read(zeros));
    }

  private:
    std::vector<uint8_t> data_;
    size_t bit_ = 0;
    bool ok_ = true;
};

// The picture size an HEVC sequence parameter set (its NAL unit, header included) declares.
bool HevcSpsSize(Bytes nal, uint32_t* width, uint32_t* height) {
    std::vector<uint8_t> rbsp;
    for (size_t zeros = 0; nal.left() > 0;) {
        const uint8_t b = static_cast<uint8_t>(nal.U8());
        if (zeros >= 2 && b == 3) {
            zeros = 0;  // emulation prevention
            continue;
        }
        zeros = b == 0 ? zeros + 1 : 0;
        rbsp.push_back(b);
    }
    Bits bits(std::move(rbsp));
    bits.Skip(16 + 4);  // NAL header, video parameter set
    const uint32_t subLayers = bits.Read(3);
    bits.Skip(1 + 88 + 8);  // nesting, general profile, tier and level
    std::vector<bool> profile(subLayers), level(subLayers);
    for (uint32_t i = 0; i < subLayers; ++i) {
        profile[i] = bits.Read(1) != 0;
        level[i] = bits.Read(1) != 0;
    }
    if (subLayers > 0) {
        bits.Skip(2 * (8 - static_cast<int>(subLayers)));
    }
    for (uint32_t i = 0; i < subLayers; ++i) {
        bits.Skip((profile[i] ? 88 : 0) + (level[i] ? 8 : 0));
    }
    bits.Golomb();  // sequence parameter set id
    if (bits.Golomb() == 3) {
        bits.Skip(1);
    }
    *width = bits.Golomb();
    *height = bits.Golomb();
    return bits.ok() && subLayers < 8;
}

bool HvcCSize(Bytes config, uint32_t* width, uint32_t* height) {
    config.Skip(22);
    const uint32_t arrays = config.U8();
    for (uint32_t a = 0; a < arrays && config.ok(); ++a) {
        const uint32_t type = config.U8() & 0x3f;
        const uint32_t units = config.U16();
        for (uint32_t u = 0; u < units && config.ok(); ++u) {
            Bytes nal = config.Take(config.U16());
            if (type == 33 && config.ok()) {
                return HevcSpsSize(nal, width, height);
            }
        }
    }
    return false;
}

uint64_t Leb128(Bytes* b) {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) {
        const uint32_t byte = b->U8();
        v |= static_cast<uint64_t>(byte & 0x7f) << (7 * i);
        if ((byte & 0x80) == 0) {
            return v;
        }
    }
    return ~uint64_t{0};
}

// The largest frame an AV1 sequence header (its payload) allows.
bool Av1SequenceSize(Bytes header, uint32_t* width, uint32_t* height) {
    Bits bits(std::vector<uint8_t>(header.at(), header.at() + header.left()));
    bits.Skip(3 + 1);  // profile, still picture
    if (bits.Read(1) != 0) {
        bits.Skip(5);  // the reduced header's one level
    } else {
        bool decoderModel = false;
        int delayBits = 0;
        if (bits.Read(1) != 0) {  // timing info
            bits.Skip(64);
            if (bits.Read(1) != 0) {
                bits.Uvlc();
            }
            decoderModel = bits.Read(1) != 0;
            if (decoderModel) {
                delayBits = static_cast<int>(bits.Read(5)) + 1;
                bits.Skip(32 + 5 + 5);
            }
        }
        const bool displayDelay = bits.Read(1) != 0;
        const uint32_t points = bits.Read(5) + 1;
        for (uint32_t i = 0; i < points && bits.ok(); ++i) {
            bits.Skip(12);
            if (bits.Read(5) > 7) {
                bits.Skip(1);
            }
            if (decoderModel && bits.Read(1) != 0) {
                bits.Skip(2 * delayBits + 1);
            }
            if (displayDelay && bits.Read(1) != 0) {
                bits.Skip(4);
            }
        }
    }
    const int widthBits = static_cast<int>(bits.Read(4)) + 1;
    const int heightBits = static_cast<int>(bits.Read(4)) + 1;
    *width = bits.Read(widthBits) + 1;
    *height = bits.Read(heightBits) + 1;
    return bits.ok();
}

// The sequence header among OBUs (as a file stores them, each with its size).
bool Av1ObuSize(Bytes config, uint32_t* width, uint32_t* height) {
    while (config.ok() && config.left() > 0) {
        const uint32_t header = config.U8();
        if ((header & 0x04) != 0) {
            config.Skip(1);  // extension
        }
        const uint64_t size = (header & 0x02) != 0 ? Leb128(&config) : config.left();
        if (size > config.left()) {
            return false;
        }
        Bytes obu = config.Take(static_cast<size_t>(size));
        if (((header >> 3) & 0x0f) == 1) {
            return Av1SequenceSize(obu, width, height);
        }
    }
    return false;
}

bool Av1CSize(Bytes config, uint32_t* width, uint32_t* height) {
    config.Skip(4);
    return config.ok() && Av1ObuSize(config, width, height);
}

struct Property {
    char type[4];
    Bytes payload;
};

struct Item {
    uint32_t id = 0;
    char type[4] = {0, 0, 0, 0};
    std::vector<uint32_t> properties;   // indices into the property list, 1 first
    std::vector<uint32_t> derivedFrom;  // dimg
    std::vector<uint32_t> auxiliaryOf;  // auxl
    int construction = -1;  // iloc's method: 0 file offsets, 1 idat; -1 without a location
    std::vector<std::pair<uint64_t, uint64_t>> extents;
    uint64_t baseOffset = 0;
};

struct Meta {
    uint32_t primary = 0;
    bool hasPrimary = false;
    std::vector<Item> items;  // sorted by id once read
    std::vector<Property> properties;
    Bytes idat;
};

Item* FindItem(Meta* meta, uint32_t id) {
    auto it = std::lower_bound(meta->items.begin(), meta->items.end(), id,
                               [](const Item& item, uint32_t value) { return item.id < value; });
    return it != meta->items.end() && it->id == id ? &*it : nullptr;
}

bool IsPicture(const Item& item) {
    return Is(item.type, "hvc1") || Is(item.type, "av01") || Is(item.type, "grid") ||
           Is(item.type, "iovl") || Is(item.type, "iden");
}

bool IsDerived(const Item& item) {
    return Is(item.type, "grid") || Is(item.type, "iovl") || Is(item.type, "iden");
}

// FullBox version and flags.
uint32_t Version(Bytes* b, uint32_t* flags) {
    const uint32_t v = b->U32();
    if (flags != nullptr) {
        *flags = v & 0xffffff;
    }
    return v >> 24;
}

bool ReadItemInfo(Bytes b, Meta* meta) {
    const uint32_t version = Version(&b, nullptr);
    const uint32_t count = version == 0 ? b.U16() : b.U32();
    Box entry;
    for (uint32_t i = 0; i < count && NextBox(&b, &entry); ++i) {
        if (!Is(entry.type, "infe")) {
            continue;
        }
        Item item;
        const uint32_t v = Version(&entry.payload, nullptr);
        if (v < 2) {
            continue;  // no item types before version 2: nothing the library shows
        }
        item.id = v == 2 ? entry.payload.U16() : entry.payload.U32();
        entry.payload.Skip(2);
        if (entry.payload.left() < 4) {
            return false;
        }
        std::memcpy(item.type, entry.payload.at(), 4);
        meta->items.push_back(item);
    }
    return b.ok();
}

bool ReadLocations(Bytes b, Meta* meta) {
    const uint32_t version = Version(&b, nullptr);
    const uint32_t sizes = b.U16();
    const int offsetSize = static_cast<int>(sizes >> 12);
    const int lengthSize = static_cast<int>((sizes >> 8) & 15);
    const int baseSize = static_cast<int>((sizes >> 4) & 15);
    const int indexSize = version >= 1 ? static_cast<int>(sizes & 15) : 0;
    const uint32_t count = version < 2 ? b.U16() : b.U32();
    for (uint32_t i = 0; i < count && b.ok(); ++i) {
        const uint32_t id = version < 2 ? b.U16() : b.U32();
        const int method = version >= 1 ? static_cast<int>(b.U16() & 15) : 0;
        b.Skip(2);
        const uint64_t base = b.Number(baseSize);
        const uint32_t extents = b.U16();
        Item* item = FindItem(meta, id);
        for (uint32_t e = 0; e < extents && b.ok(); ++e) {
            b.Number(indexSize);
            const uint64_t offset = b.Number(offsetSize);
            const uint64_t length = b.Number(lengthSize);
            if (item != nullptr) {
                item->extents.emplace_back(offset, length);
            }
        }
        if (item != nullptr) {
            item->construction = method;
            item->baseOffset = base;
        }
    }
    return b.ok();
}

bool ReadReferences(Bytes b, Meta* meta) {
    const uint32_t version = Version(&b, nullptr);
    const int idBytes = version == 0 ? 2 : 4;
    Box reference;
    while (NextBox(&b, &reference)) {
        Bytes& r = reference.payload;
        const uint32_t from = static_cast<uint32_t>(r.Number(idBytes));
        const uint32_t count = r.U16();
        Item* item = FindItem(meta, from);
        for (uint32_t i = 0; i < count && r.ok(); ++i) {
            const uint32_t to = static_cast<uint32_t>(r.Number(idBytes));
            if (item == nullptr) {
                continue;
            }
            if (Is(reference.type, "dimg")) {
                item->derivedFrom.push_back(to);
            } else if (Is(reference.type, "auxl")) {
                item->auxiliaryOf.push_back(to);
            }
        }
        if (!r.ok()) {
            return false;
        }
    }
    return b.ok() && b.left() == 0;
}

bool ReadProperties(Bytes b, Meta* meta) {
    Box box;
    while (NextBox(&b, &box)) {
        if (Is(box.type, "ipco")) {
            Box property;
            while (NextBox(&box.payload, &property)) {
                Property p;
                std::memcpy(p.type, property.type, 4);
                p.payload = property.payload;
                meta->properties.push_back(p);
            }
        } else if (Is(box.type, "ipma")) {
            uint32_t flags = 0;
            const uint32_t version = Version(&box.payload, &flags);
            const uint32_t count = box.payload.U32();
            for (uint32_t i = 0; i < count && box.payload.ok(); ++i) {
                const uint32_t id = version < 1 ? box.payload.U16() : box.payload.U32();
                const uint32_t n = box.payload.U8();
                Item* item = FindItem(meta, id);
                for (uint32_t k = 0; k < n && box.payload.ok(); ++k) {
                    const uint32_t index =
                        (flags & 1) != 0 ? box.payload.U16() & 0x7fff : box.payload.U8() & 0x7f;
                    if (item != nullptr && index > 0) {
                        item->properties.push_back(index);
                    }
                }
            }
            if (!box.payload.ok()) {
                return false;
            }
        }
    }
    return b.ok();
}

bool ReadMeta(Bytes b, Meta* meta) {
    Version(&b, nullptr);
    Box box;
    Bytes info, locations, references, properties;
    bool picture = false;
    while (NextBox(&b, &box)) {
        if (Is(box.type, "hdlr")) {
            box.payload.Skip(8);
            picture = box.payload.left() >= 4 && std::memcmp(box.payload.at(), "pict", 4) == 0;
        } else if (Is(box.type, "pitm")) {
            meta->primary =
                Version(&box.payload, nullptr) == 0 ? box.payload.U16() : box.payload.U32();
            meta->hasPrimary = box.payload.ok();
        } else if (Is(box.type, "iinf")) {
            info = box.payload;
        } else if (Is(box.type, "iloc")) {
            locations = box.payload;
        } else if (Is(box.type, "iref")) {
            references = box.payload;
        } else if (Is(box.type, "iprp")) {
            properties = box.payload;
        } else if (Is(box.type, "idat")) {
            meta->idat = box.payload;
        }
    }
    if (!picture || !meta->hasPrimary || !ReadItemInfo(info, meta)) {
        return false;
    }
    std::sort(meta->items.begin(), meta->items.end(),
              [](const Item& a, const Item& c) { return a.id < c.id; });
    for (size_t i = 1; i < meta->items.size(); ++i) {
        if (meta->items[i].id == meta->items[i - 1].id) {
            return false;  // which of the two the library takes is its own affair
        }
    }
    return ReadLocations(locations, meta) &&
           (references.left() == 0 || ReadReferences(references, meta)) &&
           ReadProperties(properties, meta);
}

// The bytes of an item, up to limit: a grid or overlay header, the start of a coded stream.
bool ItemData(FILE* stream, const Meta& meta, const Item& item, std::vector<uint8_t>* data,
              uint64_t limit = ItemDataLimit, bool prefix = false) {
    if (item.construction != 0 && item.construction != 1) {
        return false;
    }
    for (const auto& extent : item.extents) {
        const uint64_t start = item.baseOffset + extent.first;
        uint64_t length = extent.second;
        if (length > limit - data->size()) {
            if (!prefix) {
                return false;
            }
            length = limit - data->size();
        }
        const size_t at = data->size();
        data->resize(at + static_cast<size_t>(length));
        if (item.construction == 1) {
            if (start > meta.idat.left() || length > meta.idat.left() - start) {
                return false;
            }
            std::memcpy(data->data() + at, meta.idat.at() + start, static_cast<size_t>(length));
        } else if (std::fseek(stream, static_cast<long>(start), SEEK_SET) != 0 ||
                   std::fread(data->data() + at, 1, static_cast<size_t>(length), stream) !=
                       length) {
            return false;
        }
    }
    return true;
}

// The output size a grid or overlay header declares.
bool DerivedSize(const Item& item, const std::vector<uint8_t>& data, uint32_t* width,
                 uint32_t* height) {
    Bytes b(data.data(), data.size());
    b.Skip(1);
    const bool large = (b.U8() & 1) != 0;
    if (Is(item.type, "grid")) {
        const uint32_t rows = b.U8() + 1;
        const uint32_t columns = b.U8() + 1;
        if (rows * columns != item.derivedFrom.size()) {
            return false;
        }
    } else {
        b.Skip(8);  // the canvas colour
    }
    *width = static_cast<uint32_t>(b.Number(large ? 4 : 2));
    *height = static_cast<uint32_t>(b.Number(large ? 4 : 2));
    return b.ok();
}

struct Sizes {
    uint32_t width = 0;
    uint32_t height = 0;
};

class Planner {
  public:
    Planner(FILE* stream, Meta* meta, uint64_t fileBytes)
        : stream_(stream), meta_(meta), fileBytes_(fileBytes) {}

    // The size item id has when decoded, after checking everything it needs.
    bool Visit(uint32_t id, int depth, Sizes* size) {
        Item* item = FindItem(meta_, id);
        if (item == nullptr || !IsPicture(*item) || depth > DerivationDepthLimit ||
            ++visited_ > NeededItemsLimit) {
            return false;
        }
        Sizes declared;  // ispe, which every picture must carry
        if (!Properties(*item, &declared)) {
            return false;
        }
        if (IsDerived(*item)) {
            if (item->derivedFrom.empty()) {
                return false;
            }
            for (uint32_t from : item->derivedFrom) {
                Sizes part;
                if (from == id || !Visit(from, depth + 1, &part)) {
                    return false;
                }
                if (Is(item->type, "iden")) {
                    declared = part;
                }
            }
            if (!Is(item->type, "iden")) {
                std::vector<uint8_t> data;
                if (!ItemData(stream_, *meta_, *item, &data) ||
                    !DerivedSize(*item, data, &declared.width, &declared.height)) {
                    return false;
                }
            }
        } else if (!Coded(*item, &declared)) {
            return false;
        }
        if (declared.width == 0 || declared.height == 0 || declared.width > MaxPictureSide ||
            declared.height > MaxPictureSide) {
            return false;
        }
        pixels_ += static_cast<uint64_t>(declared.width) * declared.height;
        if (!DeclaredPixelsFit(pixels_, fileBytes_)) {
            return false;
        }
        *size = declared;
        return true;
    }

    // The alpha (or other auxiliary picture) the library decodes with item id.
    bool VisitAuxiliaries(uint32_t id) {
        for (const Item& item : meta_->items) {
            if (std::find(item.auxiliaryOf.begin(), item.auxiliaryOf.end(), id) ==
                item.auxiliaryOf.end()) {
                continue;
            }
            Sizes size;
            if (!Visit(item.id, 1, &size)) {
                return false;
            }
        }
        return true;
    }

    uint64_t pixels() const { return pixels_; }
    int32_t orientation = 1;

  private:
    bool Properties(const Item& item, Sizes* declared) {
        bool sized = false;
        for (uint32_t index : item.properties) {
            if (index > meta_->properties.size()) {
                return false;
            }
            const Property& p = meta_->properties[index - 1];
            Bytes payload = p.payload;
            if (Is(p.type, "ispe")) {
                Version(&payload, nullptr);
                declared->width = payload.U32();
                declared->height = payload.U32();
                sized = payload.ok();
            } else if (item.id == meta_->primary && Is(p.type, "irot")) {
                orientation = TurnOrientation(orientation, static_cast<int32_t>(payload.U8() & 3));
            } else if (item.id == meta_->primary && Is(p.type, "imir")) {
                orientation = MirrorOrientation(orientation, (payload.U8() & 1) != 0);
            }
        }
        return sized;
    }

    // Coded pictures are as large as their stream says, whatever ispe claims. AV1 keeps its
    // sequence header in the configuration or, often, only at the start of its data.
    bool Coded(const Item& item, Sizes* declared) {
        const bool hevc = Is(item.type, "hvc1");
        uint32_t w = 0, h = 0;
        bool sized = false;
        for (uint32_t index : item.properties) {
            const Property& p = meta_->properties[index - 1];
            if (Is(p.type, hevc ? "hvcC" : "av1C")) {
                sized = hevc ? HvcCSize(p.payload, &w, &h) : Av1CSize(p.payload, &w, &h);
                break;
            }
        }
        std::vector<uint8_t> start;
        if (!sized && !hevc && ItemData(stream_, *meta_, item, &start, CodedStartBytes, true)) {
            sized = Av1ObuSize(Bytes(start.data(), start.size()), &w, &h);
        }
        declared->width = std::max(declared->width, w);
        declared->height = std::max(declared->height, h);
        return sized;
    }

    FILE* stream_;
    Meta* meta_;
    uint64_t fileBytes_;
    uint64_t pixels_ = 0;
    size_t visited_ = 0;
};

bool ReadMetaBox(FILE* stream, uint64_t fileBytes, std::vector<uint8_t>* meta) {
    uint64_t at = 0;
    for (int n = 0; n < TopLevelBoxesLimit && at + 8 <= fileBytes; ++n) {
        uint8_t header[16];
        if (std::fseek(stream, static_cast<long>(at), SEEK_SET) != 0 ||
            std::fread(header, 1, 8, stream) != 8) {
            return false;
        }
        Bytes h(header, 8);
        uint64_t size = h.U32();
        uint64_t headerBytes = 8;
        if (size == 1) {
            if (std::fread(header + 8, 1, 8, stream) != 8) {
                return false;
            }
            Bytes large(header + 8, 8);
            size = large.Number(8);
            headerBytes = 16;
        } else if (size == 0) {
            size = fileBytes - at;
        }
        if (size < headerBytes || size > fileBytes - at) {
            return false;
        }
        if (std::memcmp(header + 4, "meta", 4) == 0) {
            const uint64_t bytes = size - headerBytes;
            if (bytes > MetaBytesLimit) {
                return false;
            }
            meta->resize(static_cast<size_t>(bytes));
            return std::fread(meta->data(), 1, meta->size(), stream) == meta->size();
        }
        at += size;
    }
    return false;
}

// Orientations as a mirror left to right (or none) followed by clockwise quarter turns.
constexpr int32_t Orientations[2][4] = {{1, 6, 3, 8}, {2, 7, 4, 5}};

void Split(int32_t orientation, int32_t* mirrored, int32_t* turns) {
    for (int32_t m = 0; m < 2; ++m) {
        for (int32_t r = 0; r < 4; ++r) {
            if (Orientations[m][r] == orientation) {
                *mirrored = m;
                *turns = r;
                return;
            }
        }
    }
    *mirrored = 0;
    *turns = 0;
}

}  // namespace

int32_t TurnOrientation(int32_t orientation, int32_t quarterTurns) {
    int32_t m, r;
    Split(orientation, &m, &r);
    return Orientations[m][((r - quarterTurns) % 4 + 4) % 4];
}

int32_t MirrorOrientation(int32_t orientation, bool topToBottom) {
    // A mirror after r turns is the mirror first, then the turns the other way round; top to
    // bottom is left to right and a half turn.
    int32_t m, r;
    Split(orientation, &m, &r);
    const int32_t turns = topToBottom ? 2 - r : -r;
    return Orientations[1 - m][(turns % 4 + 4) % 4];
}

bool PlanHeifDecode(FILE* stream, uint64_t fileBytes, HeifPlan* plan) {
    std::vector<uint8_t> bytes;
    Meta meta;
    if (!ReadMetaBox(stream, fileBytes, &bytes) ||
        !ReadMeta(Bytes(bytes.data(), bytes.size()), &meta)) {
        return false;
    }
    Planner planner(stream, &meta, fileBytes);
    Sizes primary;
    if (!planner.Visit(meta.primary, 0, &primary) || !planner.VisitAuxiliaries(meta.primary)) {
        return false;
    }
    plan->width = primary.width;
    plan->height = primary.height;
    plan->decodedPixels = planner.pixels();
    plan->orientation = planner.orientation;
    return true;
}
