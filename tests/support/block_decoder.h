// A decoder of compressed stream-data blocks, written apart from the encoder
// so that the tests and fuzz targets can check its output: it reads the bit
// stream one bit at a time and decodes table-coded blocks the way a player
// does, with the last table block before them in the file.
//
// expand_stream() turns a command stream into a list of items in which every
// stream-data block (types 0x00-0x3F) and every compressed block (0x40-0x7E)
// appears as its stream type and its bytes, decoded; table blocks are left
// out. Two files whose expanded streams are equal give a player the same
// commands and the same data banks.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "vgm/bytes.h"
#include "vgm/commands.h"
#include "vgm/cursor.h"
#include "vgm/datablock.h"

namespace testvgm {

// Reads bits most significant first.
class BitReader {
public:
    explicit BitReader(vgm::Bytes data) : data_(data) {}
    bool bit(uint32_t& b) {
        if (pos_ / 8 >= data_.size()) return false;
        b = (data_[pos_ / 8] >> (7 - pos_ % 8)) & 1u;
        ++pos_;
        return true;
    }
    bool bits(unsigned n, uint32_t& v) {
        v = 0;
        for (unsigned i = 0; i < n; ++i) {
            uint32_t b;
            if (!bit(b)) return false;
            v = (v << 1) | b;
        }
        return true;
    }
    size_t bit_pos() const { return pos_; }

private:
    vgm::Bytes data_;
    size_t pos_ = 0;
};

struct Decoded {
    std::string error;  // empty when decoded
    std::vector<uint8_t> data;
};

// Decodes a compressed block's payload. `table` is the payload of the table
// block in force, or null. With `strict` the block must be exactly as this
// system writes it: packed data of exactly the right length with zero
// padding bits, and every value inside its width.
inline Decoded decode_compressed(vgm::Bytes payload, const vgm::Bytes* table, bool strict) {
    Decoded r;
    if (payload.size() < 10) return {"payload shorter than its header", {}};
    const uint8_t compression = payload[0];
    const uint32_t length = vgm::load_le32(payload, 1);
    const unsigned bd = payload[5], bc = payload[6], sub = payload[7];
    const uint32_t add = vgm::load_le16(payload, 8);
    if (compression != 0) return {"not bit packing", {}};
    if (bd < 1 || bd > 16 || bc > 16 || sub > 2) return {"bad widths or sub-type", {}};
    if (sub == 1 && bc > bd) return {"shift with more bits compressed than decompressed", {}};
    const unsigned width = bd > 8 ? 2 : 1;
    const uint64_t count = (uint64_t{length} + width - 1) / width;
    const vgm::Bytes packed = payload.subspan(10);
    if ((count * bc + 7) / 8 > packed.size()) return {"packed data too short", {}};
    if (strict && (count * bc + 7) / 8 != packed.size()) return {"packed data of the wrong length", {}};
    std::vector<uint32_t> values;
    if (sub == 2) {
        if (!table) return {"no table in force", {}};
        const vgm::Bytes t = *table;
        if (t.size() < 6 || t[0] != 0 || t[1] != 2) return {"bad table header", {}};
        if (t[2] != bd || t[3] != bc) return {"table of other widths", {}};
        const uint32_t m = vgm::load_le16(t, 4);
        if (t.size() < 6 + uint64_t{m} * width) return {"table shorter than its count", {}};
        if (strict && t.size() != 6 + uint64_t{m} * width) return {"table of the wrong length", {}};
        for (uint32_t i = 0; i < m; ++i) values.push_back(width == 2 ? vgm::load_le16(t, 6 + 2 * i) : t[6 + i]);
        if (strict) {
            for (size_t i = 1; i < values.size(); ++i)
                if (values[i - 1] >= values[i]) return {"table values not ascending", {}};
            if (m > (1u << bc)) return {"table longer than its indexes reach", {}};
        }
    }
    BitReader in(packed);
    r.data.reserve(length);
    for (uint64_t i = 0; i < count; ++i) {
        uint32_t v = 0;
        if (bc <= 8) {
            in.bits(bc, v);
        } else {
            uint32_t low = 0, high = 0;
            in.bits(8, low);
            in.bits(bc - 8, high);
            v = low | (high << 8);
        }
        uint32_t x = 0;
        if (sub == 0) {
            x = v + add;
        } else if (sub == 1) {
            x = (v << (bd - bc)) + add;
        } else {
            if (v >= values.size()) return {"index past the table", {}};
            x = values[v];
        }
        if (strict && x >= (1u << bd)) return {"value wider than its format", {}};
        r.data.push_back(static_cast<uint8_t>(x));
        if (width == 2 && r.data.size() < length) r.data.push_back(static_cast<uint8_t>(x >> 8));
    }
    if (strict) {
        uint32_t pad;
        while (in.bit(pad))
            if (pad) return {"padding bits not 0", {}};
    }
    return r;
}

struct StreamItem {
    std::vector<uint8_t> raw;  // the command as stored
    bool block = false;        // a stream-data or compressed block
    uint8_t type = 0;          // blocks: the stream type 0x00-0x3F
    std::string error;         // compressed blocks that did not decode
    std::vector<uint8_t> data; // blocks: the bank bytes it adds
};

struct ExpandedStream {
    std::vector<StreamItem> items;
    size_t compressed = 0;  // compressed blocks met
    size_t tables = 0;      // table blocks met
};

// Expands the command stream from `start` up to 0x66 or the end of the data
// (a command cut off by the end is kept as one raw item), walked with the
// reserved commands 0x40-0x4E two bytes long.
inline ExpandedStream expand_stream(vgm::Bytes data, size_t start, bool strict) {
    ExpandedStream r;
    std::optional<vgm::Bytes> table;
    vgm::CommandCursor cur(data, start, vgm::kShortReservedSilent);
    for (vgm::Command c; cur.next(c);) {
        StreamItem item;
        item.raw.assign(c.bytes.begin(), c.bytes.end());
        if (c.op == vgm::cmd::kDataBlock) {
            const auto b = vgm::read_data_block(data, c.pos);
            if (b && b->kind() == vgm::BlockClass::Table) {
                table = b->payload;
                ++r.tables;
                continue;
            }
            if (b && b->kind() == vgm::BlockClass::Stream) {
                item.block = true;
                item.type = b->type;
                item.data.assign(b->payload.begin(), b->payload.end());
            } else if (b && b->kind() == vgm::BlockClass::Compressed) {
                ++r.compressed;
                Decoded d = decode_compressed(b->payload, table ? &*table : nullptr, strict);
                item.error = d.error;
                if (d.error.empty()) {
                    item.block = true;
                    item.type = static_cast<uint8_t>(b->type - vgm::block::kFirstCompressed);
                    item.data = std::move(d.data);
                }
            }
        }
        r.items.push_back(std::move(item));
        if (c.op == vgm::cmd::kEnd) return r;
    }
    if (cur.cut_off()) {
        StreamItem item;
        item.raw.assign(data.begin() + static_cast<ptrdiff_t>(cur.pos()), data.end());
        r.items.push_back(std::move(item));
    }
    return r;
}

// "" when `out` gives a player what `in` gives it: the same commands, and
// every block the same bytes for the same stream type. A compressed block
// of the input that does not decode must stand unchanged in the output.
inline std::string compare_expanded(const ExpandedStream& in, const ExpandedStream& out) {
    if (in.items.size() != out.items.size())
        return "item count " + std::to_string(in.items.size()) + " against " + std::to_string(out.items.size());
    for (size_t i = 0; i < in.items.size(); ++i) {
        const StreamItem& a = in.items[i];
        const StreamItem& b = out.items[i];
        const std::string at = "item " + std::to_string(i) + ": ";
        if (!a.error.empty()) {
            if (a.raw != b.raw) return at + "a block that does not decode was changed";
            continue;
        }
        if (a.block != b.block) return at + "block against non-block" + (b.error.empty() ? "" : " (" + b.error + ")");
        if (!a.block) {
            if (a.raw != b.raw) return at + "command differs";
            continue;
        }
        if (a.type != b.type) return at + "stream type differs";
        if (a.data != b.data) return at + "block bytes differ";
    }
    return "";
}

}  // namespace testvgm
