#include "vgm/packing.h"

#include "vgm/datablock.h"

namespace vgm::packing {

void append_compressed_header(std::vector<uint8_t>& out, const CompressedHeader& h) {
    out.push_back(h.compression);
    append_le32(out, h.uncompressed_length);
    out.push_back(h.bits_decompressed);
    out.push_back(h.bits_compressed);
    out.push_back(h.sub_type);
    append_le16(out, h.add);
}

void append_table_block(std::vector<uint8_t>& out, uint8_t bits_decompressed, uint8_t bits_compressed,
                        std::span<const uint16_t> values) {
    const uint32_t width = value_width(bits_decompressed);
    const uint32_t length = static_cast<uint32_t>(kTableHeaderSize + values.size() * width);
    const auto head = data_block_header(block::kDecompressionTable, length);
    out.insert(out.end(), head.begin(), head.end());
    out.push_back(kBitPacking);
    out.push_back(static_cast<uint8_t>(SubType::Table));
    out.push_back(bits_decompressed);
    out.push_back(bits_compressed);
    append_le16(out, static_cast<uint16_t>(values.size()));
    for (const uint16_t v : values) {
        if (width == 2)
            append_le16(out, v);
        else
            out.push_back(static_cast<uint8_t>(v));
    }
}

}  // namespace vgm::packing
