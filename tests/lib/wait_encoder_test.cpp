#include <gtest/gtest.h>

#include "vgm/wait_encoder.h"

using namespace vgm;
using Seq = std::vector<uint8_t>;

namespace {

Seq encode(uint32_t samples, WaitTable table = WaitTable::Standard) {
    Seq out;
    encode_wait(out, samples, nullptr, table);
    return out;
}

// Encodes behind a 0x80 DAC write with the merge flag set.
Seq encode_after_dac(uint32_t samples, bool* flag_after = nullptr) {
    Seq out = {0x80};
    bool flag = true;
    encode_wait(out, samples, &flag);
    if (flag_after) *flag_after = flag;
    return out;
}

// Total samples waited by a sequence of wait and DAC commands.
uint64_t waited(const Seq& s) {
    uint64_t n = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        const uint8_t b = s[i];
        if (b == 0x61) {
            n += s[i + 1] | (s[i + 2] << 8);
            i += 2;
        } else if (b == 0x62) {
            n += 735;
        } else if (b == 0x63) {
            n += 882;
        } else if (b >= 0x70 && b <= 0x7F) {
            n += (b & 0x0F) + 1;
        } else if (b >= 0x80 && b <= 0x8F) {
            n += b & 0x0F;
        } else {
            ADD_FAILURE() << "not a wait: " << int(b);
        }
    }
    return n;
}

struct Case {
    uint32_t samples;
    Seq expected;
};

}  // namespace

TEST(WaitEncoder, WithoutMerge) {
    const std::vector<Case> cases = {
        {1, {0x70}},
        {16, {0x7F}},
        {17, {0x7F, 0x70}},
        {32, {0x7F, 0x7F}},
        {33, {0x61, 0x21, 0x00}},
        {734, {0x61, 0xDE, 0x02}},
        {735, {0x62}},
        {740, {0x62, 0x74}},
        {751, {0x62, 0x7F}},
        {752, {0x61, 0xF0, 0x02}},
        {882, {0x63}},
        {898, {0x63, 0x7F}},
        {1469, {0x61, 0xBD, 0x05}},
        {1470, {0x62, 0x62}},
        {1471, {0x61, 0xBF, 0x05}},
        {1617, {0x63, 0x62}},
        {1764, {0x63, 0x63}},
        {1765, {0x61, 0xE5, 0x06}},
        {65535, {0x61, 0xFF, 0xFF}},
        {65536, {0x61, 0xFF, 0xFF, 0x70}},
        {70000, {0x61, 0xFF, 0xFF, 0x61, 0x71, 0x11}},
    };
    for (const auto& c : cases) EXPECT_EQ(encode(c.samples), c.expected) << c.samples << " samples";
}

TEST(WaitEncoder, MergeIntoDacWrite) {
    const std::vector<Case> cases = {
        {5, {0x85}},
        {15, {0x8F}},
        {20, {0x8F, 0x74}},
        {735, {0x80, 0x62}},
        {750, {0x8F, 0x62}},
        {751, {0x8F, 0x62, 0x70}},
        {1475, {0x85, 0x62, 0x62}},
        {1630, {0x8D, 0x63, 0x62}},
        {890, {0x88, 0x63}},
        {1770, {0x86, 0x63, 0x63}},
        {3000, {0x8F, 0x61, 0xA9, 0x0B}},
    };
    for (const auto& c : cases) {
        bool flag = true;
        EXPECT_EQ(encode_after_dac(c.samples, &flag), c.expected) << c.samples << " samples";
        EXPECT_FALSE(flag) << c.samples << " samples";
    }
}

TEST(WaitEncoder, ZeroSamplesAppendNothingAndKeepTheFlag) {
    bool flag = true;
    EXPECT_EQ(encode_after_dac(0, &flag), Seq{0x80});
    EXPECT_TRUE(flag);
    EXPECT_TRUE(encode(0).empty());
}

TEST(WaitEncoder, AppendsBehindExistingBytesAndMergesOnlyOnce) {
    Seq out = {0x5A, 0x01, 0x02, 0x80};
    bool flag = true;
    encode_wait(out, 5, &flag);
    encode_wait(out, 5, &flag);  // flag cleared: a new wait command
    EXPECT_EQ(out, (Seq{0x5A, 0x01, 0x02, 0x85, 0x74}));
}

TEST(WaitEncoder, NoMergeWithoutAFreeDacWrite) {
    // The flag promises a 0x80 byte; anything else is left alone.
    for (const Seq& before : {Seq{}, Seq{0x61, 0x00, 0x00}, Seq{0x83}}) {
        Seq out = before;
        bool flag = true;
        encode_wait(out, 5, &flag);
        Seq expected = before;
        expected.push_back(0x74);
        EXPECT_EQ(out, expected);
        EXPECT_FALSE(flag);
    }
}

TEST(WaitEncoder, WideDoubleFrameTable) {
    const std::vector<Case> cases = {
        {1470, {0x62, 0x62}},
        {1475, {0x62, 0x62, 0x74}},
        {1486, {0x62, 0x62, 0x7F}},
        {1487, {0x61, 0xCF, 0x05}},
        {1764, {0x63, 0x63}},
        {1780, {0x63, 0x63, 0x7F}},
        {1781, {0x61, 0xF5, 0x06}},
        {751, {0x62, 0x7F}},
        {1617, {0x63, 0x62}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(encode(c.samples, WaitTable::WideDoubleFrames), c.expected) << c.samples << " samples";
    EXPECT_EQ(encode(1475), (Seq{0x61, 0xC3, 0x05}));  // the standard table has no such case
}

TEST(WaitEncoder, EveryLengthWaitsExactlyAndStaysShort) {
    for (WaitTable table : {WaitTable::Standard, WaitTable::WideDoubleFrames}) {
        for (uint32_t n = 0; n < 4000; ++n) {
            const Seq s = encode(n, table);
            ASSERT_EQ(waited(s), n) << n;
            ASSERT_LE(s.size(), 3u) << n;
        }
    }
    for (uint32_t n : {65535u, 65536u, 131070u, 131071u, 200000u, 0xFFFFFFFFu}) {
        const Seq s = encode(n);
        EXPECT_EQ(waited(s), n) << n;
        EXPECT_LE(s.size(), 3u * (n / 65535) + 3) << n;
    }
    for (uint32_t n = 0; n < 4000; ++n) {
        const Seq s = encode_after_dac(n);
        ASSERT_EQ(waited(s), n) << n;
        ASSERT_LE(s.size(), 4u) << n;
    }
}
