#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "vgm/cursor.h"
#include "vgm/datablock.h"

using namespace vgm;

namespace {

// Walks `stream` from 0 and returns "pos:op:len " per command, the unknown-byte
// messages and whether the walk ended on a cut-off command.
struct Walked {
    std::string commands;
    std::string printed;
    bool cut_off = false;
    size_t stop = 0;
};

Walked walk(const std::vector<uint8_t>& stream, WalkPolicy policy) {
    char* text = nullptr;
    size_t text_len = 0;
    FILE* mem = open_memstream(&text, &text_len);
    Console con;
    con.out = mem;
    Walked w;
    CommandCursor cur(stream, 0, policy, &con);
    for (Command c; cur.next(c);) {
        EXPECT_EQ(c.bytes.size(), c.len);
        EXPECT_EQ(c.bytes.data(), stream.data() + c.pos);
        w.commands += std::to_string(c.pos) + ":" + std::to_string(c.op) + ":" + std::to_string(c.len) + " ";
    }
    std::fclose(mem);
    w.printed.assign(text, text_len);
    std::free(text);
    w.cut_off = cur.cut_off();
    w.stop = cur.pos();
    return w;
}

}  // namespace

TEST(CommandCursor, YieldsWholeCommandsAndReportsUnknownBytesByPolicy) {
    // 0x45 is 2 or 3 bytes long by policy; 0x96 has no defined length.
    const std::vector<uint8_t> s = {0x45, 0x01, 0x02, 0x96, 0x62, 0x66};
    const Walked a = walk(s, kShortReservedReporting);
    EXPECT_EQ(a.commands, "0:69:2 2:2:1 3:150:1 4:98:1 5:102:1 ");
    EXPECT_EQ(a.printed, "Unknown Command: 2\nUnknown Command: 96\n");
    EXPECT_FALSE(a.cut_off);
    EXPECT_EQ(a.stop, s.size());

    const Walked b = walk(s, kLongReservedSilent);
    EXPECT_EQ(b.commands, "0:69:3 3:150:1 4:98:1 5:102:1 ");
    EXPECT_EQ(b.printed, "");

    const Walked c = walk({0x00}, kShortReservedClearReporting);
    EXPECT_EQ(c.printed, std::string(kClearLine) + "Unknown Command: 0\n");
}

TEST(CommandCursor, TellsACutOffCommandFromTheEndOfTheData) {
    struct Case {
        std::vector<uint8_t> stream;
        bool cut_off;
        size_t stop;
    };
    const std::vector<Case> cases = {
        {{0x62, 0x61, 0x10}, true, 1},                    // wait missing its high byte
        {{0x62, 0x67, 0x66, 0x00, 0x05}, true, 1},        // block header cut off
        {{0x67, 0x66, 0x00, 0x02, 0, 0, 0x80, 1}, true, 0},  // payload one byte short (bit 31 set)
        {{0x62, 0x61, 0x10, 0x00}, false, 4},
        {{}, false, 0},
    };
    for (const Case& k : cases) {
        const Walked w = walk(k.stream, kShortReservedReporting);
        EXPECT_EQ(w.cut_off, k.cut_off) << w.commands;
        EXPECT_EQ(w.stop, k.stop) << w.commands;
    }
}

TEST(DataBlock, HeaderLayoutAndRamWriteData) {
    // RF5C164 RAM write at 0x1234 with bit 31 set on the size, then an
    // SCSP RAM write with a 32-bit address and no data.
    const std::vector<uint8_t> s = {0x67, 0x66, 0xC1, 0x05, 0, 0, 0x80, 0x34, 0x12, 0xAA, 0xBB, 0xCC,
                                    0x67, 0x66, 0xE0, 0x04, 0, 0, 0,    0x00, 0x00, 0x08, 0x00};
    const auto a = read_data_block(s, 0);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->type, 0xC1);
    EXPECT_TRUE(a->second_chip());
    EXPECT_EQ(a->length(), 5u);
    EXPECT_EQ(a->command_length(), 12u);
    EXPECT_EQ(a->kind(), BlockClass::RamWrite16);
    EXPECT_EQ(a->start_address(), 0x1234u);
    EXPECT_EQ(std::vector<uint8_t>(a->ram_data().begin(), a->ram_data().end()),
              (std::vector<uint8_t>{0xAA, 0xBB, 0xCC}));
    EXPECT_EQ(a->ram_data_pos(), 9u);

    const auto b = read_data_block(s, 12);
    ASSERT_TRUE(b);
    EXPECT_EQ(b->kind(), BlockClass::RamWrite32);
    EXPECT_EQ(b->start_address(), 0x080000u);
    EXPECT_TRUE(b->ram_data().empty());

    // Not a block, and blocks that run past the end.
    EXPECT_FALSE(read_data_block(s, 1));
    EXPECT_FALSE(read_data_block(std::vector<uint8_t>(s.begin(), s.begin() + 11), 0));
    EXPECT_FALSE(read_data_block(std::vector<uint8_t>(s.begin(), s.begin() + 5), 0));
}

TEST(DataBlock, WritersLayOutTheirBytes) {
    std::vector<uint8_t> out;
    append_data_block(out, 0x02, std::vector<uint8_t>{9, 8, 7});
    EXPECT_EQ(out, (std::vector<uint8_t>{0x67, 0x66, 0x02, 3, 0, 0, 0, 9, 8, 7}));
    const auto w = pcm_ram_write(0x02, 0x01123456, 0xABCDEF, 0x1000);
    EXPECT_EQ(std::vector<uint8_t>(w.begin(), w.end()),
              (std::vector<uint8_t>{0x68, 0x66, 0x02, 0x56, 0x34, 0x12, 0xEF, 0xCD, 0xAB, 0x00, 0x10, 0x00}));
}

TEST(DataBanks, OffsetsAndIdsPerTypeInFileOrder) {
    const std::vector<uint8_t> s = {
        0x67, 0x66, 0x00, 3, 0, 0, 0, 1, 2, 3,  // type 0, id 0, offset 0
        0x67, 0x66, 0x01, 2, 0, 0, 0, 4, 5,     // type 1, id 0
        0x67, 0x66, 0x00, 0, 0, 0, 0,           // type 0, id 1, empty
        0x67, 0x66, 0x00, 2, 0, 0, 0, 6, 7,     // type 0, id 2, offset 3
        0x67, 0x66, 0xC0, 2, 0, 0, 0, 0, 0,     // RAM write: no bank
        0x66,
        0x67, 0x66, 0x00, 1, 0, 0, 0, 8,        // after the end command
    };
    const DataBanks banks = collect_banks(s, 0, kShortReservedReporting);
    const DataBank& b0 = banks[0x00];
    ASSERT_EQ(b0.blocks.size(), 3u);
    EXPECT_EQ(b0.size, 5u);
    EXPECT_EQ(b0.blocks[2].offset, 3u);
    EXPECT_EQ(b0.blocks[2].id, 2u);
    EXPECT_EQ(b0.blocks[2].pos, 26u);
    EXPECT_EQ(b0.block_at(2)->id, 0u);
    EXPECT_EQ(b0.block_at(3)->id, 2u);  // the empty block is passed over
    EXPECT_EQ(b0.block_at(5), nullptr);
    EXPECT_EQ(b0.concatenate(s), (std::vector<uint8_t>{1, 2, 3, 6, 7}));
    EXPECT_EQ(banks[0x01].size, 2u);
    EXPECT_TRUE(banks[0x02].empty());
}

TEST(RfBankBase, Register7SelectsTheBankOnlyWithBit6Clear) {
    RfBankBase rf;
    rf.on_register(7, 0x85);
    EXPECT_EQ(rf.base(), 0x5000u);
    rf.on_register(7, 0x45);  // selects a channel
    EXPECT_EQ(rf.base(), 0x5000u);
    rf.on_register(6, 0x03);  // another register
    EXPECT_EQ(rf.base(), 0x5000u);
    rf.on_register(7, 0x01);
    EXPECT_EQ(rf.address(0xF800), 0x0800u);
}
