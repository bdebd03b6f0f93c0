#include <gtest/gtest.h>

#include <vector>

#include "vgm/packing.h"

using namespace vgm::packing;

namespace {
std::vector<uint8_t> pack(const std::vector<uint32_t>& values, uint8_t bits) {
    std::vector<uint8_t> out(packed_length(values.size(), bits), 0xEE);
    BitPacker p(out, bits);
    for (const uint32_t v : values) p.put(v);
    EXPECT_EQ(p.finish(), out.size());
    return out;
}
}  // namespace

TEST(BitPacker, BitOrder) {
    struct Case {
        const char* what;
        std::vector<uint32_t> values;
        uint8_t bits;
        std::vector<uint8_t> bytes;
    };
    const std::vector<Case> cases = {
        // 1011 1100 1010: the low 8 bits first, then the high 4, padded with 0
        {"12 bits: low byte first", {0x0ABC}, 12, {0xBC, 0xA0}},
        {"two 12-bit values fill three bytes", {0x0ABC, 0x0123}, 12, {0xBC, 0xA2, 0x31}},
        {"9 bits: the ninth bit after the low byte", {0x100, 0x001}, 9, {0x00, 0x80, 0x80}},
        {"3 bits, most significant first across bytes", {0, 1, 2, 3, 4, 5, 6, 7}, 3, {0x05, 0x39, 0x77}},
        {"unfilled bits of the last byte are 0", {1}, 1, {0x80}},
        {"8 bits are whole bytes", {0x12, 0xFE}, 8, {0x12, 0xFE}},
        {"only the low bits of a value count", {0xFF, 0x00}, 2, {0xC0}},
        {"0 bits write nothing", {5, 6, 7}, 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(pack(c.values, c.bits), c.bytes);
    }
}

TEST(BitPacker, NeverWritesPastItsBuffer) {
    std::vector<uint8_t> buf(3, 0xEE);
    BitPacker p(std::span<uint8_t>(buf.data(), 2), 8);
    for (uint32_t v : {1, 2, 3, 4}) p.put(v);
    p.finish();
    EXPECT_EQ(buf, (std::vector<uint8_t>{1, 2, 0xEE}));
}

TEST(Packing, TableBlockLayout) {
    std::vector<uint8_t> out;
    const std::vector<uint16_t> words = {0x0001, 0x0ABC};
    append_table_block(out, 12, 1, words);
    EXPECT_EQ(out, (std::vector<uint8_t>{0x67, 0x66, 0x7F, 10, 0, 0, 0, 0x00, 0x02, 12, 1, 2, 0, 0x01, 0x00, 0xBC,
                                         0x0A}));
    out.clear();
    const std::vector<uint16_t> bytes = {0x10, 0x20, 0x30};
    append_table_block(out, 8, 2, bytes);
    EXPECT_EQ(out, (std::vector<uint8_t>{0x67, 0x66, 0x7F, 9, 0, 0, 0, 0x00, 0x02, 8, 2, 3, 0, 0x10, 0x20, 0x30}));
}
