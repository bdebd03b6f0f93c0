#include <gtest/gtest.h>

#include "vgm/bytes.h"

using namespace vgm;

TEST(Bytes, LittleEndianByteOrder) {
    std::vector<uint8_t> b(6, 0);
    ASSERT_TRUE(store_le32(b, 1, 0x04030201));
    EXPECT_EQ(b, (std::vector<uint8_t>{0, 1, 2, 3, 4, 0}));
    EXPECT_EQ(load_le32(b, 1), 0x04030201u);
    EXPECT_EQ(load_le16(b, 2), 0x0302u);
}

TEST(Bytes, ReadsPastTheEndYieldZeroAndStoresAreDropped) {
    std::vector<uint8_t> b = {1, 2, 3};
    EXPECT_EQ(load_le32(b, 0), 0u);
    EXPECT_EQ(load_le16(b, 2), 0u);
    EXPECT_EQ(load_le16(b, SIZE_MAX), 0u);
    EXPECT_EQ(load_u8(b, 3), 0u);
    EXPECT_FALSE(store_le32(b, 0, 0xFFFFFFFF));
    EXPECT_EQ(b, (std::vector<uint8_t>{1, 2, 3}));
}

TEST(Bytes, ReaderFailsWithoutAdvancing) {
    const std::vector<uint8_t> b = {0x34, 0x12, 0xAA};
    ByteReader r(b);
    uint16_t v16;
    uint32_t v32;
    ASSERT_TRUE(r.u16le(v16));
    EXPECT_EQ(v16, 0x1234);
    EXPECT_FALSE(r.u32le(v32));
    EXPECT_EQ(r.pos(), 2u);
    EXPECT_FALSE(r.skip(2));
    EXPECT_TRUE(r.skip(1));
    EXPECT_TRUE(r.at_end());
}
