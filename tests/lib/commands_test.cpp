#include <gtest/gtest.h>

#include "vgm/commands.h"

using namespace vgm;

struct LengthCase {
    std::vector<uint8_t> bytes;
    WalkPolicy policy;
    uint32_t expected;
};

TEST(CommandLength, Table) {
    const std::vector<LengthCase> cases = {
        {{0x30, 0}, kShortReservedReporting, 2},
        {{0x3F, 0}, kShortReservedReporting, 2},
        {{0x45, 0, 0}, kLongReservedSilent, 3},
        {{0x45, 0, 0}, kShortReservedReporting, 2},
        {{0x4F, 0}, kLongReservedSilent, 2},
        {{0x50, 0}, kShortReservedReporting, 2},
        {{0x52, 0, 0}, kShortReservedReporting, 3},
        {{0x61, 0, 0}, kShortReservedReporting, 3},
        {{0x62}, kShortReservedReporting, 1},
        {{0x66}, kShortReservedReporting, 1},
        {{0x68}, kShortReservedReporting, 12},
        {{0x7F}, kShortReservedReporting, 1},
        {{0x8F}, kShortReservedReporting, 1},
        {{0x90}, kShortReservedReporting, 5},
        {{0x92}, kShortReservedReporting, 6},
        {{0x93}, kShortReservedReporting, 11},
        {{0x94}, kShortReservedReporting, 2},
        {{0x95}, kShortReservedReporting, 5},
        {{0x96}, kShortReservedReporting, 1},  // no defined length
        {{0x00}, kShortReservedReporting, 1},
        {{0x60}, kShortReservedReporting, 1},
        {{0x64}, kShortReservedReporting, 1},
        {{0x6F}, kShortReservedReporting, 1},
        {{0xA2, 0, 0}, kShortReservedReporting, 3},
        {{0xBF, 0, 0}, kShortReservedReporting, 3},
        {{0xC8}, kShortReservedReporting, 4},
        {{0xDF}, kShortReservedReporting, 4},
        {{0xE0}, kShortReservedReporting, 5},
        {{0xFF}, kShortReservedReporting, 5},
        {{0x67, 0x66, 0x00, 0x10, 0, 0, 0}, kShortReservedReporting, 7 + 0x10},
        {{0x67, 0x66, 0x00, 0x10, 0, 0, 0x80}, kShortReservedReporting, 7 + 0x10},  // bit 31: second instance
        {{0x67, 0x66, 0x00, 0x10}, kShortReservedReporting, 7},                      // size cut off
    };
    for (const auto& c : cases) {
        EXPECT_EQ(command_length(c.bytes, 0, c.policy), c.expected) << "command " << std::hex << int(c.bytes[0]);
    }
    EXPECT_FALSE(has_defined_length(0x96));
    EXPECT_TRUE(has_defined_length(0x4E));
}

TEST(CommandLength, IncompleteCommandsDoNotFit) {
    const std::vector<uint8_t> block = {0x67, 0x66, 0x00, 0xFF, 0xFF, 0xFF, 0x7F, 1, 2};
    const uint32_t len = command_length(block, 0, kShortReservedReporting);
    EXPECT_EQ(len, 7u + 0x7FFFFFFFu);
    EXPECT_FALSE(command_fits(block.size(), 0, len));
    EXPECT_TRUE(command_fits(block.size(), 7, 2));
}

TEST(CommandLength, Waits) {
    const std::vector<uint8_t> s = {0x61, 0x34, 0x12, 0x62, 0x63, 0x70, 0x7F, 0x80, 0x8F, 0x52};
    EXPECT_EQ(wait_samples(s, 0), 0x1234u);
    EXPECT_EQ(wait_samples(s, 3), 735u);
    EXPECT_EQ(wait_samples(s, 4), 882u);
    EXPECT_EQ(wait_samples(s, 5), 1u);
    EXPECT_EQ(wait_samples(s, 6), 16u);
    EXPECT_EQ(wait_samples(s, 7), 0u);
    EXPECT_EQ(wait_samples(s, 8), 15u);
    EXPECT_EQ(wait_samples(s, 9), 0u);
}
