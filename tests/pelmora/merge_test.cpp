// Step 1 of pelmora over small fixtures: which writes merge into which
// blocks, what happens to bank selects, the loop point and the messages.
#include <gtest/gtest.h>

#include "fixtures.h"
#include "pelmora.h"

using namespace pelfix;
using testvgm::VgmBuilder;

namespace {

const std::string kClear = "\t\t\t\t\t\t\t\t\r";
constexpr size_t kStart = 0x100;

struct Merged {
    pelmora::MergeResult r;
    std::string out;
    ByteVec stream() const {
        return ByteVec(r.image.begin() + kStart, r.image.begin() + static_cast<ptrdiff_t>(kStart + r.data_length));
    }
};

Merged merge(const ByteVec& stream, uint32_t clock_field = 0x40, int loop_at = -1) {
    VgmBuilder b(0x151, 0x100);
    b.clock(clock_field, kRf5c68Clock).raw(stream);
    ByteVec file = b.build();
    if (loop_at >= 0) {
        for (int i = 0; i < 4; ++i) file[0x1C + i] = static_cast<uint8_t>((kStart + loop_at - 0x1C) >> (8 * i));
    }
    const vgm::VgmImage img = load(file);
    CapturedConsole cc;
    Merged m{pelmora::merge_writes(cc.con, img), ""};
    m.out = cc.text();
    return m;
}

uint32_t le32(const ByteVec& v, size_t off) {
    return v[off] | (v[off + 1] << 8) | (v[off + 2] << 16) | (uint32_t(v[off + 3]) << 24);
}

}  // namespace

TEST(PelmoraMerge, MemoryWritesWithWaitsBetweenBecomeOneBlockWhereTheFirstStood) {
    const ByteVec in = cat({mem_run(0xC1, 0x0010, {1, 2, 3, 4}, {0x70}), {0x66}});
    const Merged m = merge(in);
    EXPECT_EQ(m.stream(), cat({ram(0xC0, 0x0010, {1, 2, 3, 4}), {0x70, 0x70, 0x70, 0x66}}));
    EXPECT_EQ(m.r.pcm_writes, 4u);
    EXPECT_EQ(m.r.input_data_length, in.size());
    EXPECT_EQ(m.out, kClear);
}

TEST(PelmoraMerge, ABreakInTheAddressesStartsANewRunAndALoneWriteStaysWithOneWarning) {
    const ByteVec in = cat({mem(0xC1, 0x10, 0xA), mem(0xC1, 0x11, 0xB), mem(0xC1, 0x20, 0xC), {0x70},
                            mem(0xC1, 0x40, 0xD), {0x66}});
    const Merged m = merge(in);
    EXPECT_EQ(m.stream(), cat({ram(0xC0, 0x10, {0xA, 0xB}), mem(0xC1, 0x20, 0xC), {0x70}, mem(0xC1, 0x40, 0xD),
                               {0x66}}));
    EXPECT_EQ(m.out, kClear + "Warning! Single Memory Writes left!\n" + kClear);
}

TEST(PelmoraMerge, OnlyARegisterWriteOfTheRunsOwnChipEndsIt) {
    // 0xB1 (the RF5C164) between RF5C68 writes: the run goes on.
    const Merged other = merge(cat({mem(0xC1, 0, 1), {0xB1, 0x08, 0xFF}, mem(0xC1, 1, 2), {0x66}}));
    EXPECT_EQ(other.stream(), cat({ram(0xC0, 0, {1, 2}), {0xB1, 0x08, 0xFF, 0x66}}));
    // 0xB0 of any register ends it.
    const Merged own = merge(cat({mem(0xC1, 0, 1), mem(0xC1, 1, 2), {0xB0, 0x08, 0xFF}, mem(0xC1, 2, 3),
                                  mem(0xC1, 3, 4), {0x66}}));
    EXPECT_EQ(own.stream(), cat({ram(0xC0, 0, {1, 2}), {0xB0, 0x08, 0xFF}, ram(0xC0, 2, {3, 4}), {0x66}}));
    // Memory writes of the other chip are passed over, and kept.
    const Merged mixed = merge(cat({mem(0xC1, 0, 1), mem(0xC2, 7, 9), mem(0xC1, 1, 2), {0x66}}));
    EXPECT_EQ(mixed.stream(), cat({ram(0xC0, 0, {1, 2}), mem(0xC2, 7, 9), {0x66}}));
}

TEST(PelmoraMerge, BankSelectsGiveAbsoluteAddressesAndOnlyTheFirstStays) {
    // 0x82: bank 2, chip on. The merged block names 0x2100; the first select
    // stays as 0x80, the later one (chip still on) goes. A channel select
    // (bit 6 set) is copied and leaves the bank alone.
    const ByteVec in = cat({{0xB0, 0x07, 0x82}, mem_run(0xC1, 0x0100, {5, 6}), {0xB0, 0x07, 0xC3},
                            {0xB0, 0x07, 0x83}, mem_run(0xC1, 0x0F00, {7, 8}), {0x66}});
    const Merged m = merge(in);
    EXPECT_EQ(m.stream(), cat({{0xB0, 0x07, 0x80}, ram(0xC0, 0x2100, {5, 6}), {0xB0, 0x07, 0xC3},
                               ram(0xC0, 0x3F00, {7, 8}), {0x66}}));
}

TEST(PelmoraMerge, WhatTheOutputsBankZeroWouldChangeIsKeptRight) {
    // A lone write under bank 3 names its absolute address, since the output
    // keeps bank 0; a bank select that turns the chip on is kept (as 0x80).
    const ByteVec in = cat({{0xB0, 0x07, 0x00}, {0xB0, 0x07, 0x03}, mem(0xC1, 0x0010, 0x55), {0x70},
                            {0xB0, 0x07, 0x85}, {0x66}});
    const Merged m = merge(in);
    EXPECT_EQ(m.stream(), cat({{0xB0, 0x07, 0x00}, mem(0xC1, 0x3010, 0x55), {0x70}, {0xB0, 0x07, 0x80}, {0x66}}));
    // The wrap of the 64 KiB window: offset 0xF800 under bank 1 is 0x0800.
    const Merged wrap = merge(cat({{0xB1, 0x07, 0x01}, mem(0xC2, 0xF800, 1), mem(0xC2, 0xF801, 2), {0x66}}), 0x6C);
    EXPECT_EQ(wrap.stream(), cat({{0xB1, 0x07, 0x00}, ram(0xC1, 0x0800, {1, 2}), {0x66}}));
}

TEST(PelmoraMerge, RunsFromBlocksAreCutInto4096ByteBlocksRunsFromWritesAreNot) {
    const ByteVec data = pattern(10000, 1);
    ByteVec blocks;
    for (size_t off = 0; off < data.size(); off += 1000)
        blocks = cat({blocks, ram(0xC0, static_cast<uint32_t>(off), ByteVec(data.begin() + off, data.begin() + off + 1000)),
                      {0x70}});
    const Merged from_blocks = merge(cat({blocks, {0x66}}));
    ByteVec expect = cat({ram(0xC0, 0, ByteVec(data.begin(), data.begin() + 4096)),
                          ram(0xC0, 4096, ByteVec(data.begin() + 4096, data.begin() + 8192)),
                          ram(0xC0, 8192, ByteVec(data.begin() + 8192, data.end()))});
    expect.insert(expect.end(), 10, 0x70);
    expect.push_back(0x66);
    EXPECT_EQ(from_blocks.stream(), expect);
    EXPECT_EQ(from_blocks.r.pcm_writes, 10u);

    const Merged from_writes = merge(cat({mem_run(0xC1, 0, data), {0x66}}));
    EXPECT_EQ(from_writes.stream(), cat({ram(0xC0, 0, data), {0x66}}));
}

TEST(PelmoraMerge, ARunEndsAtTheEndOfTheChipsMemory) {
    // 0xFFFE, 0xFFFF, then 0x0000: the address sequence would wrap.
    const Merged m = merge(cat({mem_run(0xC1, 0xFFFE, {1, 2}), mem_run(0xC1, 0x0000, {3, 4}), {0x66}}));
    EXPECT_EQ(m.stream(), cat({ram(0xC0, 0xFFFE, {1, 2}), ram(0xC0, 0, {3, 4}), {0x66}}));
}

TEST(PelmoraMerge, BlocksThatDoNotFitTheMemoryStayAsTheyAre) {
    // SCSP: 512 KiB. A block running past the end, one starting beyond it, and
    // one too short for its start address are copied unchanged and end runs.
    const ByteVec past = ram(0xE0, 0x7FFF0, pattern(0x20, 2));
    const ByteVec beyond = ram(0xE0, 0x90000, pattern(8, 3));
    const ByteVec stub = block(0xE0, {1, 2});
    const ByteVec in = cat({ram(0xE0, 0x7FFE0, pattern(0x10, 4)), past, beyond, stub, ram(0xE0, 0x100, {1, 2}),
                            ram(0xE0, 0x102, {3, 4}), {0x66}});
    const Merged m = merge(in, 0xB8);
    EXPECT_EQ(m.stream(), cat({ram(0xE0, 0x7FFE0, pattern(0x10, 4)), past, beyond, stub, ram(0xE0, 0x100, {1, 2, 3, 4}),
                               {0x66}}));
    EXPECT_EQ(m.r.pcm_writes, 6u);
    // An RF block of 0x2000 bytes at 0xF000 likewise.
    const ByteVec rf = ram(0xC0, 0xF000, pattern(0x2000, 5));
    EXPECT_EQ(merge(cat({rf, {0x66}})).stream(), cat({rf, {0x66}}));
}

TEST(PelmoraMerge, TheLoopPointEndsARunAndLandsWhereItsCommandNowBegins) {
    // Three writes, loop on the second: the run stops before the loop point,
    // so the first write stays single and the loop lands on the block of the
    // other two, which playback writes again when it comes back.
    const ByteVec in = cat({mem(0xC1, 0, 1), mem(0xC1, 1, 2), mem(0xC1, 2, 3), {0x70, 0x66}});
    const Merged inside = merge(in, 0x40, 4);
    EXPECT_EQ(inside.stream(), cat({mem(0xC1, 0, 1), ram(0xC0, 1, {2, 3}), {0x70, 0x66}}));
    EXPECT_EQ(le32(inside.r.image, 0x1C) + 0x1C, kStart + 4);
    // On the opening write: at the merged block that stands for it.
    const Merged opening = merge(in, 0x40, 0);
    EXPECT_EQ(opening.stream(), cat({ram(0xC0, 0, {1, 2, 3}), {0x70, 0x66}}));
    EXPECT_EQ(le32(opening.r.image, 0x1C) + 0x1C, kStart);
    // On a dropped bank select: where the next written command begins.
    const ByteVec banks = cat({{0xB0, 0x07, 0x80}, {0x70}, {0xB0, 0x07, 0x81}, {0x71, 0x66}});
    const Merged dropped = merge(banks, 0x40, 4);
    EXPECT_EQ(dropped.stream(), cat({{0xB0, 0x07, 0x80}, {0x70, 0x71, 0x66}}));
    EXPECT_EQ(le32(dropped.r.image, 0x1C) + 0x1C, kStart + 4);
    // On a copied command: where its copy begins.
    const Merged copied = merge(in, 0x40, 12);
    EXPECT_EQ(le32(copied.r.image, 0x1C) + 0x1C, kStart + ram(0xC0, 0, {1, 2, 3}).size());
    EXPECT_EQ(copied.out, kClear);
    // Inside a command: lost.
    const Merged lost = merge(in, 0x40, 1);
    EXPECT_EQ(le32(lost.r.image, 0x1C), 0u);
    EXPECT_EQ(lost.out, kClear + "Error! Failed to relocate Loop Point!\n");
}

TEST(PelmoraMerge, APcmRamWriteEndsTheStep) {
    const Merged m = merge(cat({mem_run(0xC1, 0, {1, 2}), pcm_write(1, 0, 0, 2), {0x66}}));
    EXPECT_TRUE(m.r.already_optimized);
    EXPECT_EQ(m.out, kClear + "VGM already optimized!\n");
}

TEST(PelmoraMerge, UnknownBytesAreReportedAndCopiedReservedCommandsAreTwoBytes) {
    // 0x41 takes one operand here; 0x96 has no defined length.
    const ByteVec in = {0x41, 0xC1, 0x96, 0x66};
    const Merged m = merge(in);
    EXPECT_EQ(m.stream(), in);
    EXPECT_EQ(m.out, kClear + "Unknown Command: 96\n" + kClear);
    EXPECT_EQ(m.r.pcm_writes, 0u);
}

TEST(PelmoraMerge, WithoutAnEndCommandTheCutOffTailIsKept) {
    // A data block whose size runs past the end of the file.
    const ByteVec in = cat({mem_run(0xC1, 0, {1, 2}), {0x70, 0x67, 0x66, 0x00, 0xFF, 0xFF, 0, 0, 1, 2}});
    const Merged m = merge(in);
    EXPECT_EQ(m.stream(), cat({ram(0xC0, 0, {1, 2}), {0x70, 0x67, 0x66, 0x00, 0xFF, 0xFF, 0, 0, 1, 2}}));
    EXPECT_EQ(m.r.input_data_length, in.size());
    EXPECT_EQ(le32(m.r.image, 4) + 4, m.r.image.size());
}
