// tresmo end to end: the real program on small files built byte by byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tool_runner.h"
#include "vgm/bytes.h"
#include "vgm/cursor.h"
#include "vgm/datablock.h"
#include "vgm_builder.h"

using testvgm::ByteVec;
using testvgm::run_tool;
using testvgm::TempDir;
using testvgm::VgmBuilder;

namespace {

constexpr size_t kDataStart = 0x80;  // VgmBuilder's default header
const std::string kClear = "\t\t\t\t\t\t\t\t\r";
const std::string kReportHead = "Data Block Usage\n---------------\n";

ByteVec cat(std::initializer_list<ByteVec> parts) {
    ByteVec out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

ByteVec slice(const ByteVec& v, size_t from, size_t to) { return ByteVec(v.begin() + from, v.begin() + to); }

ByteVec le32(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

// `n` bytes that differ from their neighbours, so a misplaced cut shows.
ByteVec pattern(size_t n, uint8_t seed = 0) {
    ByteVec v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7 + (i >> 8) + seed);
    return v;
}

ByteVec block(uint8_t type, const ByteVec& payload) {
    return cat({{0x67, 0x66, type}, le32(static_cast<uint32_t>(payload.size())), payload});
}
ByteVec setup(uint8_t ss, uint8_t reg = 0x2A) { return {0x90, ss, 0x02, 0x00, reg}; }
ByteVec data(uint8_t ss, uint8_t bank) { return {0x91, ss, bank, 0x01, 0x00}; }
ByteVec freq(uint8_t ss, uint32_t hz) { return cat({{0x92, ss}, le32(hz)}); }
ByteVec start(uint8_t ss, uint32_t off, uint8_t mode, uint32_t len) {
    return cat({{0x93, ss}, le32(off), {mode}, le32(len)});
}
ByteVec fast(uint8_t ss, uint16_t id, uint8_t flags) {
    return {0x95, ss, static_cast<uint8_t>(id), static_cast<uint8_t>(id >> 8), flags};
}
const ByteVec kWait = {0x62};
const ByteVec kEnd = {0x66};

// An input: `before` and `after` the loop point (no loop when `loop` is
// false), with an optional GD3 tag.
ByteVec make_input(const ByteVec& before, const ByteVec& after = {}, bool loop = false, bool tag = false) {
    VgmBuilder b;
    b.total_samples(1000).loop_samples(500);
    b.raw(before);
    if (loop) b.loop_here();
    b.raw(after);
    if (tag) b.gd3({"Title", "", "Game"});
    return b.build();
}

// The output expected for `in`: its header with the EOF, loop and GD3 fields
// set for `body` (everything behind the header), then its tag when it has one.
ByteVec expected_file(const ByteVec& in, const ByteVec& body, long loop_in_body = -1, bool tag = false) {
    ByteVec out = cat({slice(in, 0, kDataStart), body});
    vgm::store_le32(out, 0x1C, loop_in_body >= 0 ? static_cast<uint32_t>(kDataStart + loop_in_body - 0x1C) : 0);
    if (tag) {
        const ByteVec t = testvgm::gd3_block_ascii({"Title", "", "Game"});
        vgm::store_le32(out, 0x14, static_cast<uint32_t>(out.size() - 0x14));
        out.insert(out.end(), t.begin(), t.end());
    }
    vgm::store_le32(out, 0x04, static_cast<uint32_t>(out.size() - 4));
    return out;
}

std::string head(const std::string& name = "in.vgm") {
    return testvgm::banner("tresmo") + "File Name:\t" + name + "\n\nCreating ROM-Usage Mask ...\n";
}
const std::string kWritten = kClear + "File written.\n";

std::string copying(uint8_t op, uint32_t from, uint32_t to) {
    char line[80];
    std::snprintf(line, sizeof line, "Copying data from for command %02X 0x%06X -> 0x%06X\n", op, from, to);
    return line;
}

// The stream part of an output: what follows the rebuilt blocks of a body.
ByteVec after_blocks(const ByteVec& out, size_t blocks_size) {
    return ByteVec(out.begin() + static_cast<long>(kDataStart + blocks_size), out.end());
}

}  // namespace

// Bank 0x00 of 0x1000 bytes with two used ranges becomes four blocks; the
// stream starts become fast starts naming them (their mode carried into the
// flags), the constant set-up commands move to the front, the loop point at a
// stream start lands on its fast start, and the tag follows the stream.
TEST(Tresmo, WorkedExampleByteForByte) {
    const ByteVec bank = pattern(0x1000);
    const ByteVec before = cat({block(0x00, bank), setup(0), data(0, 0), freq(0, 16000),
                                start(0, 0x100, 0x80, 0x200), kWait, setup(0), data(0, 0), freq(0, 16000)});
    const ByteVec after = cat({start(0, 0x300, 0x10, 0x100), kWait, start(0, 0x100, 0x91, 0x200), kEnd});
    const ByteVec in = make_input(before, after, true, true);
    TempDir dir;
    dir.write("in.vgm", in);
    const auto r = run_tool("tresmo", {"in.vgm"}, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, head() + kClear + kReportHead +
                         "Start   End     Size  -- Datablock Type 0x00\n"
                         "000100  0002FF  0200\n"
                         "000300  0003FF  0100\n" +
                         copying(0x90, 0x1087, 0x109C) + copying(0x91, 0x108C, 0x10A1) +
                         copying(0x92, 0x1091, 0x10A6) + kWritten);
    const ByteVec blocks = cat({block(0x00, slice(bank, 0, 0x100)), block(0x00, slice(bank, 0x100, 0x300)),
                                block(0x00, slice(bank, 0x300, 0x400)), block(0x00, slice(bank, 0x400, 0x1000))});
    const ByteVec front = cat({blocks, setup(0), data(0, 0), freq(0, 16000), fast(0, 1, 0x01), kWait});
    const ByteVec body = cat({front, fast(0, 2, 0x10), kWait, fast(0, 1, 0x11), kEnd});
    EXPECT_EQ(dir.read("in_optimized.vgm"), expected_file(in, body, static_cast<long>(front.size()), true));
}

// The usage report and the overlap check. A file with overlapping ranges
// prints the report, then the overlap message, exits with 0 and writes
// nothing; otherwise the rewrite follows.
TEST(Tresmo, UsageReportAndOverlap) {
    ByteVec thousand;
    for (int i = 0; i < 1000; ++i) {
        const ByteVec s = start(0, 0x10, 0, 0x20);
        thousand.insert(thousand.end(), s.begin(), s.end());
    }
    struct Case {
        const char* what;
        ByteVec stream;
        std::string report;  // behind the report's head
        bool overlap;
    };
    const ByteVec pre = cat({block(0x00, pattern(0x1000)), data(0, 0)});
    const std::vector<Case> cases = {
        {"ranges that touch", cat({pre, start(0, 0x800, 0, 0x400), start(0, 0, 0, 0x800)}),
         "Start   End     Size  -- Datablock Type 0x00\n000000  0007FF  0800\n000800  000BFF  0400\n", false},
        {"ranges that overlap", cat({pre, start(0, 0, 0, 0x800), start(0, 0x400, 0, 0x800)}),
         "Start   End     Size  -- Datablock Type 0x00\n000000  0007FF  0800\n000400  000BFF  0800\n", true},
        {"one range started a thousand times is listed once", cat({pre, thousand}),
         "Start   End     Size  -- Datablock Type 0x00\n000010  00002F  0020\n", false},
        {"one offset with two lengths overlaps itself", cat({pre, start(0, 0x10, 0, 0x20), start(0, 0x10, 0, 0x40)}),
         "Start   End     Size  -- Datablock Type 0x00\n000010  00002F  0020\n000010  00004F  0040\n", true},
        {"a start before any 0x91 of its stream files under bank 0x00",
         cat({block(0x02, pattern(0x100)), start(1, 0, 0, 0x10), data(1, 0x02), start(1, 0x20, 0, 0x10)}),
         "Start   End     Size  -- Datablock Type 0x00\n000000  00000F  0010\n"
         "Start   End     Size  -- Datablock Type 0x02\n000020  00002F  0010\n", false},
        {"banks in type order, each stream with its own bank",
         cat({data(3, 0x05), data(1, 0x01), start(3, 0x40, 0, 8), start(1, 0, 0, 4), start(1, 0x10, 0, 4)}),
         "Start   End     Size  -- Datablock Type 0x01\n000000  000003  0004\n000010  000013  0004\n"
         "Start   End     Size  -- Datablock Type 0x05\n000040  000047  0008\n", false},
        {"a 0x91 bank above 0x3F files under its low six bits", cat({data(0, 0x43), start(0, 0, 0, 2)}),
         "Start   End     Size  -- Datablock Type 0x03\n000000  000001  0002\n", false},
        {"no stream starts", cat({pre, kWait}), "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        dir.write("in.vgm", make_input(cat({c.stream, kEnd})));
        const auto r = run_tool("tresmo", {"in.vgm"}, dir.path());
        EXPECT_EQ(r.exit_code, 0);
        const std::string expected = head() + kClear + kReportHead + c.report;
        if (c.overlap) {
            EXPECT_EQ(r.out, expected + "Overlapping samples! Unable to optimize.\n");
            EXPECT_EQ(dir.list(), std::vector<std::string>{"in.vgm"});
        } else {
            EXPECT_EQ(r.out.substr(0, expected.size()), expected);
            EXPECT_TRUE(dir.exists("in_optimized.vgm"));
        }
    }
}

// Compressed blocks, decompression tables and fast starts stop the scan:
// exit 9, nothing written, no report. Behind the end command they do not.
TEST(Tresmo, Refusals) {
    const std::string compressed = "Unable to optimize DAC streams that use compreseed data blocks!\n";
    const std::string optimized = "Stream Command optimization already used.\n";
    struct Case {
        const char* what;
        ByteVec stream;
        std::string printed;  // between the head and the clearing sequence
    };
    const std::vector<Case> cases = {
        {"compressed block", cat({block(0x00, pattern(4)), block(0x40, pattern(12)), kEnd}), compressed},
        {"last compressed type", cat({block(0x7E, pattern(12)), kEnd}), compressed},
        {"decompression table", cat({block(0x7F, {0, 2, 8, 4, 1, 0, 9}), kEnd}), compressed},
        {"fast start", cat({data(0, 0), fast(0, 0, 0), kEnd}), optimized},
        {"unknown bytes before the refusal are reported",
         cat({{0x96}, fast(0, 0, 0), block(0x40, pattern(12)), kEnd}), "Unknown Command: 96\n" + optimized},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        dir.write("in.vgm", make_input(c.stream));
        const auto r = run_tool("tresmo", {"in.vgm"}, dir.path());
        EXPECT_EQ(r.exit_code, 9);
        EXPECT_EQ(r.out, head() + c.printed + kClear);
        EXPECT_EQ(dir.list(), std::vector<std::string>{"in.vgm"});
    }

    TempDir dir;
    dir.write("in.vgm", make_input(cat({kWait, kEnd, block(0x40, pattern(12)), fast(0, 0, 0)})));
    const auto r = run_tool("tresmo", {"in.vgm"}, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, head() + kClear + kReportHead + kWritten);
    EXPECT_EQ(dir.read("in_optimized.vgm"), expected_file(make_input({}), cat({kWait, kEnd})));
}

// Which set-up commands move to the front: those of a stream whose 0x90
// never changes, except the kinds that vary; each stream in id order.
TEST(Tresmo, SetupCommandsThatNeverChangeMove) {
    struct Case {
        const char* what;
        ByteVec stream;
        ByteVec front;  // moved commands
        ByteVec rest;   // the rewritten stream
    };
    const std::vector<Case> cases = {
        {"all three constant: once at the front",
         cat({setup(0), data(0, 0), freq(0, 8000), kWait, setup(0), freq(0, 8000), data(0, 0), kWait}),
         cat({setup(0), data(0, 0), freq(0, 8000)}), cat({kWait, kWait})},
        {"a 0x90 that changes once keeps every command in place",
         cat({setup(0), data(0, 0), freq(0, 8000), setup(0, 0x2B), data(0, 0)}), {},
         cat({setup(0), data(0, 0), freq(0, 8000), setup(0, 0x2B), data(0, 0)})},
        {"a varying 0x92 stays, the rest moves",
         cat({setup(0), data(0, 0), freq(0, 8000), kWait, freq(0, 9000), setup(0), freq(0, 8000)}),
         cat({setup(0), data(0, 0)}), cat({freq(0, 8000), kWait, freq(0, 9000), freq(0, 8000)})},
        {"no 0x90: a constant 0x91 stays", cat({data(0, 0), kWait, data(0, 0)}), {}, cat({data(0, 0), kWait, data(0, 0)})},
        {"streams in id order, each on its own",
         cat({setup(5), freq(5, 1), setup(2), data(2, 0), setup(2, 0x2B), kWait, data(5, 1)}),
         cat({setup(5), data(5, 1), freq(5, 1)}), cat({setup(2), data(2, 0), setup(2, 0x2B), kWait})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const ByteVec in = make_input(cat({c.stream, kEnd}));
        dir.write("in.vgm", in);
        const auto r = run_tool("tresmo", {"in.vgm"}, dir.path());
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(dir.read("in_optimized.vgm"), expected_file(in, cat({c.front, c.rest, kEnd})));
    }

    // Each moved command is announced with its input and output positions.
    TempDir dir;
    dir.write("in.vgm", make_input(cat({kWait, setup(7), freq(7, 1), kEnd})));
    const auto r = run_tool("tresmo", {"in.vgm"}, dir.path());
    EXPECT_EQ(r.out, head() + kClear + kReportHead + copying(0x90, 0x81, 0x80) + copying(0x92, 0x86, 0x85) + kWritten);
}

// Banks are rebuilt whole, whether streams use them or not; blocks of other
// types stay in the stream.
TEST(Tresmo, BanksRebuiltAtTheFront) {
    const ByteVec a = pattern(0x300, 1), b = pattern(0x500, 2), rf = pattern(0x40, 3), rom = pattern(9, 4);
    const ByteVec pcm = {0x68, 0x66, 0x01, 0x10, 0, 0, 0, 0, 0, 0x20, 0, 0};
    struct Case {
        const char* what;
        ByteVec stream;
        ByteVec out;
    };
    const std::vector<Case> cases = {
        {"two blocks of one type without stream use become one",
         cat({block(0x00, a), kWait, block(0x00, b)}), cat({block(0x00, cat({a, b})), kWait})},
        {"RF5C68 data used by 0x68 only: one block in front, the 0x68 kept",
         cat({block(0x01, rf), pcm, kWait}), cat({block(0x01, rf), pcm, kWait})},
        {"banks in type order; ROM dumps and RAM writes stay in place",
         cat({block(0x06, rf), block(0x80, rom), block(0x00, a), block(0xC0, rom)}),
         cat({block(0x00, a), block(0x06, rf), block(0x80, rom), block(0xC0, rom)})},
        {"a used range at bank offset 0 gets block id 0 and no gap block",
         cat({block(0x00, a), data(0, 0), start(0, 0, 0, 0x100)}),
         cat({block(0x00, slice(a, 0, 0x100)), block(0x00, slice(a, 0x100, 0x300)), data(0, 0), fast(0, 0, 0)})},
        {"a range across two input blocks is one block",
         cat({block(0x00, a), block(0x00, b), data(0, 0), start(0, 0x200, 0, 0x200)}),
         cat({block(0x00, slice(a, 0, 0x200)), block(0x00, cat({slice(a, 0x200, 0x300), slice(b, 0, 0x100)})),
              block(0x00, slice(b, 0x100, 0x500)), data(0, 0), fast(0, 1, 0)})},
        {"a range that ends the bank leaves no tail block",
         cat({block(0x00, a), data(0, 0), start(0, 0x100, 0, 0x200)}),
         cat({block(0x00, slice(a, 0, 0x100)), block(0x00, slice(a, 0x100, 0x300)), data(0, 0), fast(0, 1, 0)})},
        {"empty blocks leave nothing behind", cat({block(0x00, {}), block(0x02, {}), kWait}), kWait},
        {"a block with bit 31 of its size set is rebuilt with it clear",
         cat({ByteVec{0x67, 0x66, 0x00, 0x03, 0x00, 0x00, 0x80, 7, 8, 9}, kWait}), cat({block(0x00, {7, 8, 9}), kWait})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const ByteVec in = make_input(cat({c.stream, kEnd}));
        dir.write("in.vgm", in);
        const auto r = run_tool("tresmo", {"in.vgm"}, dir.path());
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(dir.read("in_optimized.vgm"), expected_file(in, cat({c.out, kEnd})));
    }
}

// Stream starts that cannot become fast starts stay as they are, and the
// bank keeps every byte at its bank offset, so they still play the same bytes.
TEST(Tresmo, StartsThatStay) {
    const ByteVec bank = pattern(0x100);
    struct Case {
        const char* what;
        ByteVec stream;
        std::string report;
        ByteVec out;
    };
    const std::vector<Case> cases = {
        {"a range past the end of its bank",
         cat({block(0x00, bank), data(0, 0), start(0, 0x80, 0, 0x100), start(0, 0, 0, 0x10)}),
         "000000  00000F  0010\n000080  00017F  0100\n",
         cat({block(0x00, slice(bank, 0, 0x10)), block(0x00, slice(bank, 0x10, 0x100)), data(0, 0),
              start(0, 0x80, 0, 0x100), fast(0, 0, 0)})},
        {"a range in an empty bank", cat({data(0, 0), start(0, 0, 0, 0x10)}), "000000  00000F  0010\n",
         cat({data(0, 0), start(0, 0, 0, 0x10)})},
        {"a range that wraps past 4 GiB", cat({block(0x00, bank), data(0, 0), start(0, 0xFFFFFFF0, 0, 0x20)}),
         "FFFFFFF0  00000F  0020\n", cat({block(0x00, bank), data(0, 0), start(0, 0xFFFFFFF0, 0, 0x20)})},
        {"a start before any 0x91 of its stream",
         cat({block(0x00, bank), start(0, 0, 0x80, 0x10), data(0, 0), start(0, 0, 0x80, 0x10)}),
         "000000  00000F  0010\n",
         cat({block(0x00, slice(bank, 0, 0x10)), block(0x00, slice(bank, 0x10, 0x100)), start(0, 0, 0x80, 0x10),
              data(0, 0), fast(0, 0, 0x01)})},
        {"a stream whose 0x91 names a bank above 0x3F",
         cat({block(0x00, bank), data(0, 0x40), start(0, 0, 0, 0x10)}), "000000  00000F  0010\n",
         cat({block(0x00, slice(bank, 0, 0x10)), block(0x00, slice(bank, 0x10, 0x100)), data(0, 0x40),
              start(0, 0, 0, 0x10)})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const ByteVec in = make_input(cat({c.stream, kEnd}));
        dir.write("in.vgm", in);
        const auto r = run_tool("tresmo", {"in.vgm"}, dir.path());
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.out, head() + kClear + kReportHead + "Start   End     Size  -- Datablock Type 0x00\n" + c.report +
                             kWritten);
        EXPECT_EQ(dir.read("in_optimized.vgm"), expected_file(in, cat({c.out, kEnd})));
    }
}

// A fast start holds a 16-bit block id: ranges whose blocks come after id
// 0xFFFF keep their stream starts, the blocks are still cut.
TEST(Tresmo, BlockIdsBeyondSixteenBits) {
    constexpr uint32_t kRanges = 0x10002;
    const ByteVec bank = pattern(kRanges);
    ByteVec stream = cat({block(0x00, bank), data(0, 0)});
    for (uint32_t i = 0; i < kRanges; ++i) {
        const ByteVec s = start(0, i, 0, 1);
        stream.insert(stream.end(), s.begin(), s.end());
    }
    TempDir dir;
    const ByteVec in = make_input(cat({stream, kEnd}));
    dir.write("in.vgm", in);
    const auto r = run_tool("tresmo", {"in.vgm"}, dir.path());
    ASSERT_EQ(r.exit_code, 0);
    const ByteVec out = dir.read("in_optimized.vgm");
    const size_t blocks_size = kRanges * 8;
    ASSERT_GT(out.size(), kDataStart + blocks_size);
    EXPECT_EQ(slice(out, kDataStart + 0xFFFF * 8, kDataStart + 0x10000 * 8), block(0x00, {bank[0xFFFF]}));
    const ByteVec rest = after_blocks(out, blocks_size);
    const size_t tail = 5 + 0xFFFF * 5 + 5;  // 0x91, fast starts 0-0xFFFE, the one of id 0xFFFF
    EXPECT_EQ(slice(rest, tail - 5, tail), fast(0, 0xFFFF, 0));
    EXPECT_EQ(slice(rest, tail, tail + 22), cat({start(0, 0x10000, 0, 1), start(0, 0x10001, 0, 1)}));
}

// The loop point moves with its command; at a dropped command it lands on
// the next command written.
TEST(Tresmo, LoopPoint) {
    const ByteVec bank = pattern(0x20);
    const ByteVec blocks = cat({block(0x00, slice(bank, 0, 0x10)), block(0x00, slice(bank, 0x10, 0x20))});
    const ByteVec moved = cat({setup(0), data(0, 0)});
    struct Case {
        const char* what;
        ByteVec before, after;
        ByteVec out_before, out_after;
    };
    const std::vector<Case> cases = {
        {"at a stream start: on its fast start", cat({block(0x00, bank), setup(0), data(0, 0), kWait}),
         cat({start(0, 0, 0, 0x10), kEnd}), cat({blocks, moved, kWait}), cat({fast(0, 0, 0), kEnd})},
        {"at a moved set-up command", cat({block(0x00, bank), setup(0), data(0, 0), kWait}),
         cat({setup(0), kWait, kEnd}), cat({block(0x00, bank), moved, kWait}), cat({kWait, kEnd})},
        {"at a dropped data block", cat({setup(0), data(0, 0), kWait}),
         cat({block(0x00, bank), start(0, 0x10, 0, 0x10), kEnd}), cat({blocks, moved, kWait}),
         cat({fast(0, 1, 0), kEnd})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const ByteVec in = make_input(c.before, c.after, true);
        dir.write("in.vgm", in);
        const auto r = run_tool("tresmo", {"in.vgm"}, dir.path());
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.out.find("Warning"), std::string::npos);
        EXPECT_EQ(dir.read("in_optimized.vgm"),
                  expected_file(in, cat({c.out_before, c.out_after}), static_cast<long>(c.out_before.size())));
    }

    // A loop point inside a command is lost, with a warning.
    TempDir dir;
    ByteVec in = make_input(cat({kWait, freq(0, 1), kEnd}));
    vgm::store_le32(in, 0x1C, static_cast<uint32_t>(kDataStart + 2 - 0x1C));
    dir.write("in.vgm", in);
    const auto r = run_tool("tresmo", {"in.vgm"}, dir.path());
    EXPECT_EQ(r.out, head() + kClear + kReportHead + "Warning! Failed to relocate loop!\n" + kWritten);
    EXPECT_EQ(dir.read("in_optimized.vgm"), expected_file(in, cat({kWait, freq(0, 1), kEnd})));
}

// The rewrite walk counts 0x40-0x4E three bytes long, the scan two. Where
// that hides a data block from the scan, the rewrite keeps the block in the
// stream rather than lose it; unknown bytes are reported in both walks.
TEST(Tresmo, WalksOfTheTwoPasses) {
    const ByteVec hidden = block(0x00, {1, 2});
    struct Case {
        const char* what;
        ByteVec stream;
        ByteVec out;
        std::string printed;  // the unknown-byte lines of each pass
    };
    const std::vector<Case> cases = {
        {"0x41 is two bytes in the scan, three in the rewrite", {0x41, 0x00, 0x66, 0x66}, {0x41, 0x00, 0x66, 0x66}, ""},
        {"a block only the rewrite sees stays in the stream", cat({{0x41, 0x00, 0x50}, hidden, kEnd}),
         cat({{0x41, 0x00, 0x50}, hidden, kEnd}), ""},
        {"a byte without defined length is copied", {0x96, 0x62, 0x66}, {0x96, 0x62, 0x66},
         "Unknown Command: 96\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const ByteVec in = make_input(c.stream);
        dir.write("in.vgm", in);
        const auto r = run_tool("tresmo", {"in.vgm"}, dir.path());
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.out, head() + c.printed + kClear + kReportHead + c.printed + kWritten);
        EXPECT_EQ(dir.read("in_optimized.vgm"), expected_file(in, c.out));
    }

    // A 0x91 that only the rewrite sees changes the stream's bank: the repeat
    // of the moved 0x91 behind it stays, so the bank is set back.
    {
        TempDir dir;
        const ByteVec in = make_input(cat({setup(0), data(0, 0), {0x41, 0x00, 0x92}, data(0, 5), data(0, 0), kEnd}));
        dir.write("in.vgm", in);
        const auto r = run_tool("tresmo", {"in.vgm"}, dir.path());
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(dir.read("in_optimized.vgm"),
                  expected_file(in, cat({setup(0), data(0, 0), {0x41, 0x00, 0x92}, data(0, 5), data(0, 0), kEnd})));
    }

    // A fast start that only the rewrite sees refuses the file like one the
    // scan sees: its block id would name a block of the re-cut bank.
    {
        TempDir dir;
        dir.write("in.vgm", make_input(cat({{0x41, 0x00, 0x92}, fast(0, 0, 0), kEnd})));
        const auto r = run_tool("tresmo", {"in.vgm"}, dir.path());
        EXPECT_EQ(r.exit_code, 9);
        EXPECT_EQ(r.out, head() + kClear + kReportHead + "Stream Command optimization already used.\n" + kClear);
        EXPECT_EQ(dir.list(), std::vector<std::string>{"in.vgm"});
    }

    // A command cut off by the end of the file is kept as it stands.
    TempDir dir;
    const ByteVec in = make_input(cat({kWait, {0x93, 0x00, 0x01}}));
    dir.write("in.vgm", in);
    const auto r = run_tool("tresmo", {"in.vgm"}, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(dir.read("in_optimized.vgm"), expected_file(in, cat({kWait, {0x93, 0x00, 0x01}})));
}

// Names: argument 2 when given and not empty; the prompt when there is no
// argument; exit 1 for an empty name and for a file that cannot be loaded.
TEST(Tresmo, NamesAndLoading) {
    TempDir dir;
    const ByteVec in = make_input(cat({kWait, kEnd}));
    dir.write("song.vgz", testvgm::gzip(in));
    auto r = run_tool("tresmo", {"song.vgz", "out.vgm"}, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(dir.read("out.vgm"), expected_file(in, cat({kWait, kEnd})));
    r = run_tool("tresmo", {"song.vgz", ""}, dir.path());
    EXPECT_EQ(r.out, head("song.vgz") + kClear + kReportHead + kWritten);
    EXPECT_TRUE(dir.exists("song_optimized.vgm"));

    r = run_tool("tresmo", {}, dir.path(), "'song.vgz'\n");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, testvgm::banner("tresmo") + "File Name:\t\nCreating ROM-Usage Mask ...\n" + kClear +
                         kReportHead + kWritten);

    r = run_tool("tresmo", {}, dir.path(), "\n");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, testvgm::banner("tresmo") + "File Name:\t");

    // A data offset that puts the commands inside the header's first 64 bytes.
    ByteVec bad = in;
    vgm::store_le32(bad, 0x34, 0x04);
    dir.write("bad.vgm", bad);
    r = run_tool("tresmo", {"bad.vgm"}, dir.path());
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, testvgm::banner("tresmo") + "File Name:\tbad.vgm\n\nError opening the file!\n");
    EXPECT_FALSE(dir.exists("bad_optimized.vgm"));

    r = run_tool("tresmo", {"missing.vgm"}, dir.path());
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, testvgm::banner("tresmo") + "File Name:\tmissing.vgm\nError opening the file!\n");
}

// An output that cannot be written: a message, a non-zero exit, and nothing
// left behind.
TEST(Tresmo, WriteFailure) {
    TempDir dir;
    dir.write("in.vgm", make_input(cat({kWait, kEnd})));
    auto r = run_tool("tresmo", {"in.vgm", "missing/out.vgm"}, dir.path());
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, head() + kClear + kReportHead + kClear + "Error writing missing/out.vgm!\n");
    EXPECT_EQ(dir.list(), std::vector<std::string>{"in.vgm"});

    std::filesystem::create_directory(dir.file("taken.vgm"));
    r = run_tool("tresmo", {"in.vgm", "taken.vgm"}, dir.path());
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.out.find("Error writing taken.vgm!\n"), std::string::npos);
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"in.vgm", "taken.vgm"}));
    EXPECT_TRUE(std::filesystem::is_empty(dir.file("taken.vgm")));
}

// The real files with DAC streams: two already use fast starts, the third
// starts one range with three lengths.
TEST(Tresmo, CorpusFiles) {
    const std::string root = testvgm::corpus_dir();
    if (root.empty()) GTEST_SKIP() << "corpus not found";
    TempDir dir;
    for (const char* name : {"test.vgz", "sonic1.vgm"}) {
        SCOPED_TRACE(name);
        std::filesystem::copy_file(root + "/vgm-sega/" + name, dir.file(name));
        const auto r = run_tool("tresmo", {name}, dir.path());
        EXPECT_EQ(r.exit_code, 9);
        EXPECT_EQ(r.out, head(name) + "Stream Command optimization already used.\n" + kClear);
    }
    std::filesystem::copy_file(root + "/vgm-sega/toy_story.vgm", dir.file("toy_story.vgm"));
    const auto r = run_tool("tresmo", {"toy_story.vgm"}, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, head("toy_story.vgm") + kClear + kReportHead +
                         "Start   End     Size  -- Datablock Type 0x00\n"
                         "000000  00048D  048E\n000000  0004A5  04A6\n000000  0004C7  04C8\n"
                         "0004C8  0004CB  0004\n0004CC  000926  045B\n"
                         "Overlapping samples! Unable to optimize.\n");
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"sonic1.vgm", "test.vgz", "toy_story.vgm"}));
}
