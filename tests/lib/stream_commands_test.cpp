#include <gtest/gtest.h>

#include <vector>

#include "vgm/datablock.h"

using namespace vgm;

TEST(StreamCommands, StartFieldsAndFastStart) {
    const std::vector<uint8_t> start = {0x93, 0x07, 0x00, 0x01, 0x02, 0x00, 0x91, 0x34, 0x12, 0x00, 0x80};
    const StreamStart s = read_stream_start(start);
    EXPECT_EQ(s.stream, 0x07);
    EXPECT_EQ(s.start, 0x020100u);
    EXPECT_EQ(s.mode, 0x91);
    EXPECT_EQ(s.length, 0x80001234u);

    const auto f = fast_start(0x07, 0x1234, fast_start_flags(s.mode));
    EXPECT_EQ(std::vector<uint8_t>(f.begin(), f.end()), (std::vector<uint8_t>{0x95, 0x07, 0x34, 0x12, 0x11}));

    // A cut-off command reads as zeros past its end.
    const StreamStart cut = read_stream_start(std::vector<uint8_t>{0x93, 0x01, 0xFF});
    EXPECT_EQ(cut.start, 0u);
    EXPECT_EQ(cut.length, 0u);
}

TEST(StreamCommands, FastStartFlagsKeepLoopAndBits4To6) {
    const struct {
        uint8_t mode, flags;
    } cases[] = {{0x00, 0x00}, {0x80, 0x01}, {0x10, 0x10}, {0x91, 0x11}, {0x03, 0x00}, {0xF0, 0x71}, {0x0F, 0x00}};
    for (const auto& c : cases) EXPECT_EQ(fast_start_flags(c.mode), c.flags) << int(c.mode);
}
