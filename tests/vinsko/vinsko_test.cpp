// vinsko end to end: the real program on small files built byte by byte, its
// output checked byte for byte where the bytes are worked out by hand, and
// decoded by the independent decoder of block_decoder.h everywhere.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "block_decoder.h"
#include "tool_runner.h"
#include "vgm/bytes.h"
#include "vgm_builder.h"

using testvgm::ByteVec;
using testvgm::run_tool;
using testvgm::TempDir;
using testvgm::VgmBuilder;

namespace {

constexpr size_t kDataStart = 0x80;  // VgmBuilder's default header
const std::string kClear = "\t\t\t\t\t\t\t\t\t\r";

std::string head(const std::string& name = "in.vgm") { return testvgm::banner("vinsko") + "File Name:\t" + name + "\n\n"; }
const std::string kWritten = kClear + "File written.\n";
const std::string kNothing = kClear + "No compression possible.\n";

ByteVec cat(std::initializer_list<ByteVec> parts) {
    ByteVec out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

// `values` repeated `times` times.
ByteVec rep(const ByteVec& values, size_t times) {
    ByteVec out;
    for (size_t i = 0; i < times; ++i) out.insert(out.end(), values.begin(), values.end());
    return out;
}

ByteVec words(const std::vector<uint16_t>& values) {
    ByteVec out;
    for (const uint16_t v : values) {
        out.push_back(static_cast<uint8_t>(v));
        out.push_back(static_cast<uint8_t>(v >> 8));
    }
    return out;
}

ByteVec block(uint8_t type, const ByteVec& payload, uint32_t flags = 0) {
    const uint32_t size = static_cast<uint32_t>(payload.size()) | flags;
    ByteVec out = {0x67, 0x66, type, static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8),
                   static_cast<uint8_t>(size >> 16), static_cast<uint8_t>(size >> 24)};
    out.resize(7 + payload.size());
    std::copy(payload.begin(), payload.end(), out.begin() + 7);
    return out;
}

// A compressed block as the format lays it out, with its packed bytes given.
ByteVec cblock(uint8_t type, uint32_t length, uint8_t bd, uint8_t bits, uint8_t sub, uint16_t add,
               const ByteVec& packed) {
    ByteVec p = {0x00, static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8),
                 static_cast<uint8_t>(length >> 16), static_cast<uint8_t>(length >> 24), bd, bits, sub,
                 static_cast<uint8_t>(add), static_cast<uint8_t>(add >> 8)};
    return block(static_cast<uint8_t>(type + 0x40), cat({p, packed}));
}

ByteVec table(uint8_t bd, uint8_t bits, const std::vector<uint16_t>& values) {
    ByteVec p = {0x00, 0x02, bd, bits, static_cast<uint8_t>(values.size()), static_cast<uint8_t>(values.size() >> 8)};
    return block(0x7F, cat({p, bd > 8 ? words(values) : ByteVec(values.begin(), values.end())}));
}

// Reference packing, one bit at a time: values of up to 8 bits most
// significant bit first, wider ones as the low byte and then the high bits.
ByteVec ref_pack(const std::vector<uint32_t>& values, unsigned bits) {
    std::vector<int> stream;
    auto put = [&](uint32_t v, unsigned n) {
        for (unsigned i = n; i-- > 0;) stream.push_back((v >> i) & 1);
    };
    for (const uint32_t v : values) {
        if (bits <= 8) {
            put(v, bits);
        } else {
            put(v & 0xFF, 8);
            put(v >> 8, bits - 8);
        }
    }
    ByteVec out((stream.size() + 7) / 8, 0);
    for (size_t i = 0; i < stream.size(); ++i)
        if (stream[i]) out[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
    return out;
}

// The indexes of `payload`'s bytes in `tab`.
std::vector<uint32_t> indexes(const ByteVec& payload, const std::vector<uint16_t>& tab) {
    std::vector<uint32_t> out;
    for (const uint8_t x : payload) out.push_back(static_cast<uint32_t>(std::find(tab.begin(), tab.end(), x) - tab.begin()));
    return out;
}

ByteVec make_file(const ByteVec& stream, long loop = -1, bool tag = true) {
    VgmBuilder b;
    b.total_samples(735).loop_samples(735);
    if (loop >= 0) {
        b.raw(ByteVec(stream.begin(), stream.begin() + loop)).loop_here();
        b.raw(ByteVec(stream.begin() + loop, stream.end()));
    } else {
        b.raw(stream);
    }
    if (tag) b.gd3({"Title", "", "Game"});
    return b.build();
}

// The stream of an output file: from the data start up to its tag (or end).
ByteVec stream_of(const ByteVec& file) {
    const uint32_t gd3 = vgm::load_le32(file, 0x14);
    const size_t end = gd3 ? gd3 + 0x14 : file.size();
    return ByteVec(file.begin() + kDataStart, file.begin() + static_cast<long>(end));
}

// Expands both files and compares them; decodes the output strictly.
void expect_same_for_a_player(const ByteVec& in, const ByteVec& out, size_t in_start = kDataStart,
                              size_t out_start = kDataStart) {
    const auto a = testvgm::expand_stream(in, in_start, false);
    const auto b = testvgm::expand_stream(out, out_start, true);
    for (const auto& item : b.items) EXPECT_EQ(item.error, "");
    EXPECT_EQ(testvgm::compare_expanded(a, b), "");
}

struct Outcome {
    testvgm::RunResult r;
    ByteVec out;  // the written file, empty when none
};

Outcome run_on(const ByteVec& file, std::vector<std::string> extra = {}) {
    TempDir dir;
    dir.write("in.vgm", file);
    std::vector<std::string> args = {"in.vgm"};
    args.insert(args.end(), extra.begin(), extra.end());
    Outcome run{run_tool("vinsko", args, dir.path()), {}};
    if (dir.exists("in_compressed.vgm")) run.out = dir.read("in_compressed.vgm");
    return run;
}

const ByteVec kWait = {0x62};

}  // namespace

// One block per case: how it is coded, byte for byte. The blocks are long
// enough for the file to get smaller whenever they are compressed.
TEST(Vinsko, BlockCodings) {
    const ByteVec v7c = {0x7C, 0x7D, 0x7E, 0x7F, 0x80, 0x81, 0x82, 0x83};
    const ByteVec v00 = {0, 1, 2, 3, 4, 5, 6, 7};
    const ByteVec shift = {0x00, 0x40, 0x80, 0xC0};
    const ByteVec t159 = {0x01, 0x05, 0x09};
    std::vector<uint16_t> w300;
    for (uint16_t i = 0; i < 300; ++i) w300.push_back(i);
    std::vector<uint32_t> w300v(w300.begin(), w300.end());
    ByteVec d130;
    for (int i = 0; i < 130; ++i) d130.push_back(static_cast<uint8_t>(i));
    struct Case {
        const char* what;
        ByteVec in;   // the stream's data blocks
        ByteVec out;  // what stands in their place, or empty when nothing is written
    };
    const std::vector<Case> cases = {
        {"a single value: copy with 0 bits, no packed bytes", block(0x00, rep({0x80}, 16)),
         cblock(0x00, 16, 8, 0, 0, 0x80, {})},
        {"values 0x7C-0x83: copy, 3 bits, add 0x7C", block(0x00, rep(v7c, 4)),
         cblock(0x00, 32, 8, 3, 0, 0x7C, rep({0x05, 0x39, 0x77}, 4))},
        {"values 0-7: copy, 3 bits, add 0", block(0x02, rep(v00, 4)),
         cblock(0x02, 32, 8, 3, 0, 0x00, rep({0x05, 0x39, 0x77}, 4))},
        {"values 0x00, 0x40, 0x80, 0xC0: shift left, 2 bits", block(0x01, rep(shift, 4)),
         cblock(0x01, 16, 8, 2, 1, 0x00, rep({0x1B}, 4))},
        {"shift left keeps the common low bits as add", block(0x01, rep({0x05, 0x45, 0x85, 0xC5}, 4)),
         cblock(0x01, 16, 8, 2, 1, 0x05, rep({0x1B}, 4))},
        {"values 0x01, 0x05, 0x09: table, 2 bits", block(0x00, rep(t159, 32)),
         cat({table(8, 2, {1, 5, 9}), cblock(0x00, 96, 8, 2, 2, 0, rep({0x18, 0x61, 0x86}, 8))})},
        {"type 0x03 words 0-299: copy, 9 bits, low byte first", block(0x03, words(w300)),
         cblock(0x03, 600, 12, 9, 0, 0, ref_pack(w300v, 9))},
        {"8-bit values of a block of odd length", block(0x00, cat({rep(v00, 4), {7}})),
         cblock(0x00, 33, 8, 3, 0, 0, cat({rep({0x05, 0x39, 0x77}, 4), {0xE0}}))},
        {"130 distinct values stay uncompressed", block(0x00, d130), {}},
        {"type 0x3F is never compressed", block(0x3F, rep({0x80}, 64)), {}},
        {"compressed blocks and other types are copied",
         cat({block(0x40, {0, 4, 0, 0, 0, 8, 0, 0, 0x80, 0}), block(0x80, rep({1}, 40)), block(0xC0, rep({0}, 40))}),
         {}},
        {"an empty block is copied", block(0x00, {}), {}},
        {"type 0x03 with an odd length is left as it is", block(0x03, cat({rep({1, 0}, 40), {1}})), {}},
        {"type 0x03 with a value of 4096 is left as it is", block(0x03, words(std::vector<uint16_t>(40, 0x1000))),
         {}},
        {"type 0x03 values up to 4095 are compressed", block(0x03, words(std::vector<uint16_t>(40, 0x0FFF))),
         cblock(0x03, 80, 12, 0, 0, 0x0FFF, {})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ByteVec in = make_file(cat({c.in, kWait, {0x66}}));
        const Outcome run = run_on(in);
        EXPECT_EQ(run.r.exit_code, 0);
        if (c.out.empty()) {
            EXPECT_EQ(run.r.out, head() + kNothing);
            EXPECT_TRUE(run.out.empty());
            continue;
        }
        EXPECT_EQ(run.r.out, head() + kWritten);
        EXPECT_EQ(stream_of(run.out), cat({c.out, kWait, {0x66}}));
        expect_same_for_a_player(in, run.out);
    }
}

// Table groups: consecutive table-coded blocks of one type share a table
// while their values fit; the group's first block writes the final table.
TEST(Vinsko, TableGroups) {
    const ByteVec b1 = rep({0x10, 0x20, 0x30}, 32), b2 = rep({0x10, 0x20, 0x40}, 32), b3 = rep({0x10, 0x20, 0x50}, 32);
    const ByteVec b4 = rep({0x10, 0x20}, 48);  // two values: 1 bit, never in a 2-bit group
    const std::vector<uint16_t> t1 = {0x10, 0x20, 0x30, 0x40}, t2 = {0x10, 0x20, 0x50}, t3 = {0x10, 0x20};
    const ByteVec copy = block(0x00, rep({0x80, 0x81}, 32));  // copy-coded: leaves the group open
    const ByteVec in = make_file(cat({block(0x00, b1), kWait, copy, block(0x00, b2), block(0x00, b3), block(0x00, b4),
                                      {0x66}}));
    const Outcome run = run_on(in);
    EXPECT_EQ(run.r.out, head() + kWritten);
    const ByteVec expected = cat({table(8, 2, t1), cblock(0x00, 96, 8, 2, 2, 0, ref_pack(indexes(b1, t1), 2)), kWait,
                                  cblock(0x00, 64, 8, 1, 0, 0x80, rep({0x55}, 8)),
                                  cblock(0x00, 96, 8, 2, 2, 0, ref_pack(indexes(b2, t1), 2)), table(8, 2, t2),
                                  cblock(0x00, 96, 8, 2, 2, 0, ref_pack(indexes(b3, t2), 2)), table(8, 1, t3),
                                  cblock(0x00, 96, 8, 1, 2, 0, ref_pack(indexes(b4, t3), 1)), {0x66}});
    EXPECT_EQ(stream_of(run.out), expected);
    expect_same_for_a_player(in, run.out);
}

// A player decodes a table-coded block with the last table before it, so a
// group's table is written again before a block of it that follows another
// table: one of another type's group, or one copied from the input.
TEST(Vinsko, TableInForceBeforeEveryTableCodedBlock) {
    const ByteVec a = rep({0x01, 0x05, 0x09}, 32), b = rep({0x02, 0x06, 0x0A}, 32);
    const std::vector<uint16_t> ta = {1, 5, 9}, tb = {2, 6, 10};
    {
        const ByteVec in = make_file(cat({block(0x00, a), block(0x01, b), block(0x00, a), {0x66}}));
        const Outcome run = run_on(in);
        EXPECT_EQ(run.r.out, head() + kWritten);
        const ByteVec ca = cblock(0x00, 96, 8, 2, 2, 0, ref_pack(indexes(a, ta), 2));
        const ByteVec cb = cblock(0x01, 96, 8, 2, 2, 0, ref_pack(indexes(b, tb), 2));
        EXPECT_EQ(stream_of(run.out), cat({table(8, 2, ta), ca, table(8, 2, tb), cb, table(8, 2, ta), ca, {0x66}}));
        expect_same_for_a_player(in, run.out);
    }
    {
        // The input's own table and a block coded through it; a block of
        // ours in between gets its table written, and the input's table is
        // brought back before the input's next table-coded block.
        const std::vector<uint16_t> tx = {3, 7, 11};
        const ByteVec own_ok = cblock(0x05, 6, 8, 2, 2, 0, {0x18, 0x60});  // 0 1 2 0 1 2
        const ByteVec in = make_file(cat({table(8, 2, tx), own_ok, block(0x00, a), own_ok, {0x66}}));
        const Outcome run = run_on(in);
        EXPECT_EQ(run.r.out, head() + kWritten);
        EXPECT_EQ(stream_of(run.out), cat({table(8, 2, tx), own_ok, table(8, 2, ta),
                                           cblock(0x00, 96, 8, 2, 2, 0, ref_pack(indexes(a, ta), 2)), table(8, 2, tx),
                                           own_ok, {0x66}}));
        expect_same_for_a_player(in, run.out);
    }
    {
        // Without such interleaving only the groups' first blocks write tables.
        const ByteVec in = make_file(cat({block(0x00, a), block(0x00, a), block(0x01, b), block(0x01, b), {0x66}}));
        const Outcome run = run_on(in);
        const auto out = testvgm::expand_stream(run.out, kDataStart, true);
        EXPECT_EQ(out.tables, 2u);
        EXPECT_EQ(out.compressed, 4u);
        expect_same_for_a_player(in, run.out);
    }
}

// Every block type and bit width: blocks built for each coding at each
// width come out compressed as chosen and decode to their bytes.
TEST(Vinsko, EveryWidthDecodes) {
    ByteVec stream;
    std::vector<std::pair<uint8_t, uint8_t>> expected;  // (sub-type, bits) per compressed block
    uint32_t seed = 12345;
    auto rnd = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
    for (const uint8_t type : {0x00, 0x01, 0x03, 0x06, 0x3E}) {
        const bool wide = type == 0x03;
        const unsigned max_bits = wide ? 12 : 7;
        for (unsigned bits = 0; bits <= max_bits; ++bits) {
            const uint32_t n = 1u << bits;  // values per block: all 2^bits used
            const uint32_t top = wide ? 4096 : 256;
            // copy: n consecutive values from a base
            const uint32_t base = (top - n) / 3;
            // shift left: n values spaced by top / n, with common low bits
            // table: the same spacing with the lowest bit alternating
            for (int coding = 0; coding < 3; ++coding) {
                if (coding != 0 && (bits == 0 || (wide && bits == 12))) continue;
                std::vector<uint32_t> set;
                for (uint32_t i = 0; i < n; ++i) {
                    if (coding == 0) set.push_back(base + i);
                    if (coding == 1) set.push_back(i * (top / n) + 1);
                    if (coding == 2) set.push_back(i * (top / n) + i % 2);
                }
                std::vector<uint16_t> values;
                const uint32_t count = 3 * n + 40;
                for (uint32_t i = 0; i < count; ++i)
                    values.push_back(static_cast<uint16_t>(i < n ? set[i] : set[rnd() % n]));
                const ByteVec payload = wide ? words(values) : ByteVec(values.begin(), values.end());
                stream = cat({stream, block(type, payload), {0x70}});
                expected.emplace_back(bits == 0 ? 0 : coding, bits);
            }
        }
    }
    stream.push_back(0x66);
    const ByteVec in = make_file(stream);
    const Outcome run = run_on(in);
    ASSERT_EQ(run.r.out, head() + kWritten);
    expect_same_for_a_player(in, run.out);
    std::vector<std::pair<uint8_t, uint8_t>> got;
    vgm::CommandCursor cur(run.out, kDataStart, vgm::kShortReservedSilent);
    for (vgm::Command c; cur.next(c);) {
        if (c.op == 0x66) break;
        if (c.op == 0x67 && c.arg(2) >= 0x40 && c.arg(2) <= 0x7E) got.emplace_back(c.arg(14), c.arg(13));
    }
    EXPECT_EQ(got, expected);
}

TEST(Vinsko, LoopPoint) {
    const ByteVec a = rep({0x01, 0x05, 0x09}, 32);
    const ByteVec ta = table(8, 2, {1, 5, 9});
    const ByteVec ca = cblock(0x00, 96, 8, 2, 2, 0, ref_pack(indexes(a, {1, 5, 9}), 2));
    const ByteVec in_stream = cat({{0x50, 0x01}, block(0x00, a), kWait, {0x66}});
    struct Case {
        const char* what;
        long loop;      // stream offset in the input
        long out_loop;  // stream offset in the output, -1 for none
    };
    const std::vector<Case> cases = {
        {"on a replaced block: behind its table and compressed block", 2, static_cast<long>(2 + ta.size() + ca.size())},
        {"on a copied command before it", 0, 0},
        {"on a copied command behind it", static_cast<long>(2 + a.size() + 7),
         static_cast<long>(2 + ta.size() + ca.size())},
        {"inside a command: no loop", 1, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome run = run_on(make_file(in_stream, c.loop));
        EXPECT_EQ(run.r.out, head() + kWritten);  // no warning in any case
        EXPECT_EQ(stream_of(run.out), cat({{0x50, 0x01}, ta, ca, kWait, {0x66}}));
        EXPECT_EQ(vgm::load_le32(run.out, 0x1C), c.out_loop < 0 ? 0u : kDataStart + c.out_loop - 0x1C);
    }
}

// Header and tag: the header as stored with new EOF, GD3 and loop offsets;
// the tag carried behind the stream; bit 31 of a replaced block is cleared.
TEST(Vinsko, FileLayout) {
    VgmBuilder b(0x150, 0x40);  // old header: data at 0x40
    b.u32(0x24, 60).total_samples(735).raw(cat({block(0x00, rep({0x80}, 64), 0x80000000u), {0x62, 0x66}}));
    b.gd3({"Title", "", "Game"});
    const ByteVec in = b.build();
    TempDir dir;
    dir.write("in.vgz", testvgm::gzip(in));
    const auto r = run_tool("vinsko", {"in.vgz"}, dir.path());
    EXPECT_EQ(r.out, head("in.vgz") + kWritten);
    const ByteVec out = dir.read("in_compressed.vgm");  // written uncompressed
    const ByteVec tag = testvgm::gd3_block_ascii({"Title", "", "Game"});
    ByteVec expected = cat({ByteVec(in.begin(), in.begin() + 0x40), cblock(0x00, 64, 8, 0, 0, 0x80, {}), {0x62, 0x66},
                            tag});
    vgm::store_le32(expected, 0x04, static_cast<uint32_t>(expected.size() - 4));
    vgm::store_le32(expected, 0x14, static_cast<uint32_t>(expected.size() - tag.size() - 0x14));
    EXPECT_EQ(out, expected);
}

TEST(Vinsko, MessagesAndNames) {
    const ByteVec in = make_file(cat({block(0x00, rep({0x80}, 64)), {0x96, 0x45, 0x00, 0x66}}));
    {
        // A byte without a length is reported by both walks; 0x40-0x4E are
        // two bytes long.
        TempDir dir;
        dir.write("in.vgm", in);
        const auto r = run_tool("vinsko", {"in.vgm", ""}, dir.path());
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.out, head() + "Unknown Command: 96\nUnknown Command: 96\n" + kWritten);
        EXPECT_EQ(stream_of(dir.read("in_compressed.vgm")),
                  cat({cblock(0x00, 64, 8, 0, 0, 0x80, {}), {0x96, 0x45, 0x00, 0x66}}));
        // Its own output has nothing more to compress.
        const auto r2 = run_tool("vinsko", {"in_compressed.vgm", "again.vgm"}, dir.path());
        EXPECT_EQ(r2.out, head("in_compressed.vgm") + "Unknown Command: 96\nUnknown Command: 96\n" + kNothing);
        EXPECT_FALSE(dir.exists("again.vgm"));
    }
    {
        // An output name; the prompt when no name is given.
        TempDir dir;
        dir.write("my song.vgm", in);
        const auto r = run_tool("vinsko", {"my song.vgm", "other.vgm"}, dir.path());
        EXPECT_TRUE(dir.exists("other.vgm"));
        const auto r2 = run_tool("vinsko", {}, dir.path(), "'my song.vgm'\n");
        EXPECT_EQ(r2.out, testvgm::banner("vinsko") + "File Name:\t\nUnknown Command: 96\nUnknown Command: 96\n" +
                              kWritten);
        EXPECT_EQ(dir.read("my song_compressed.vgm"), dir.read("other.vgm"));
    }
    {
        // A file without stream blocks whose tag follows its end: same size.
        const Outcome run = run_on(make_file({0x50, 0x01, 0x62, 0x66}));
        EXPECT_EQ(run.r.out, head() + kNothing);
        EXPECT_TRUE(run.out.empty());
    }
    {
        TempDir dir;
        const auto r = run_tool("vinsko", {}, dir.path(), "\n");
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.out, testvgm::banner("vinsko") + "File Name:\t");
        const auto r2 = run_tool("vinsko", {"missing.vgm"}, dir.path());
        EXPECT_EQ(r2.exit_code, 1);
        EXPECT_EQ(r2.out, head("missing.vgm").substr(0, head("missing.vgm").size() - 1) + "Error opening the file!\n");
    }
}

// Damaged files: a block whose size runs past the end of the file is kept
// as it stands, and a stream without an end command ends with the file.
TEST(Vinsko, DamagedFiles) {
    const ByteVec good = block(0x00, rep({0x80}, 64));
    const std::vector<std::pair<ByteVec, ByteVec>> cases = {
        {cat({good, {0x67, 0x66, 0x00, 0xFF, 0xFF, 0xFF, 0x7F, 1, 2, 3}}),
         cat({cblock(0x00, 64, 8, 0, 0, 0x80, {}), {0x67, 0x66, 0x00, 0xFF, 0xFF, 0xFF, 0x7F, 1, 2, 3}})},
        {cat({good, {0x62}}), cat({cblock(0x00, 64, 8, 0, 0, 0x80, {}), {0x62}})},
        {cat({good, {0x61, 0x05}}), cat({cblock(0x00, 64, 8, 0, 0, 0x80, {}), {0x61, 0x05}})},
    };
    for (const auto& [in, expected] : cases) {
        const Outcome run = run_on(make_file(in, -1, false));
        EXPECT_EQ(run.r.out, head() + kWritten);
        EXPECT_EQ(stream_of(run.out), expected);
        EXPECT_EQ(vgm::load_le32(run.out, 0x04), run.out.size() - 4);
    }
}

TEST(Vinsko, OutputThatCannotBeWritten) {
    TempDir dir;
    dir.write("in.vgm", make_file(cat({block(0x00, rep({0x80}, 64)), {0x66}})));
    const auto r = run_tool("vinsko", {"in.vgm", "missing/out.vgm"}, dir.path());
    EXPECT_NE(r.exit_code, 0);
    EXPECT_EQ(r.out, head() + kClear + "Error writing missing/out.vgm!\n");
    EXPECT_EQ(dir.list(), std::vector<std::string>{"in.vgm"});

    // The name is taken by a directory: nothing is left behind.
    std::filesystem::create_directory(dir.file("taken.vgm"));
    const auto r2 = run_tool("vinsko", {"in.vgm", "taken.vgm"}, dir.path());
    EXPECT_NE(r2.exit_code, 0);
    EXPECT_EQ(r2.out, head() + kClear + "Error writing taken.vgm!\n");
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"in.vgm", "taken.vgm"}));
    EXPECT_TRUE(std::filesystem::is_empty(dir.file("taken.vgm")));
}

// Real files: whatever is written decodes to the input's data banks and
// commands, and a second run finds nothing more to compress.
TEST(Vinsko, Corpus) {
    const std::string corpus = testvgm::corpus_dir();
    if (corpus.empty()) GTEST_SKIP() << "no corpus";
    size_t written = 0, compressed_blocks = 0;
    for (const char* sub : {"vgm-sega", "vgm-opl"}) {
        for (const auto& e : std::filesystem::directory_iterator(corpus + "/" + sub)) {
            const std::string name = e.path().filename().string();
            SCOPED_TRACE(name);
            TempDir dir;
            std::filesystem::copy_file(e.path(), dir.file(name));
            const auto r = run_tool("vinsko", {name, "out.vgm"}, dir.path());
            EXPECT_EQ(r.exit_code, 0);
            if (!dir.exists("out.vgm")) {
                EXPECT_NE(r.out.find("No compression possible."), std::string::npos);
                continue;
            }
            ++written;
            const ByteVec raw = dir.read(name);
            const ByteVec in = name.ends_with(".vgz") ? testvgm::gunzip(raw) : raw;
            const ByteVec out = dir.read("out.vgm");
            EXPECT_LT(out.size(), in.size());
            uint32_t start = vgm::load_le32(in, 0x34) ? vgm::load_le32(in, 0x34) + 0x34 : 0x40;
            if (vgm::load_le32(in, 0x08) < 0x150) start = 0x40;
            const ByteVec in_cut(in.begin(), in.begin() + std::min<size_t>(in.size(), vgm::load_le32(in, 4) + 4));
            expect_same_for_a_player(in_cut, out, start, start);
            compressed_blocks += testvgm::expand_stream(out, start, true).compressed;
            const auto again = run_tool("vinsko", {"out.vgm", "again.vgm"}, dir.path());
            EXPECT_NE(again.out.find("No compression possible."), std::string::npos);
            EXPECT_FALSE(dir.exists("again.vgm"));
        }
    }
    // sonic1.vgm and test.vgz each hold a type-0 block of fewer than 129
    // distinct values; their other blocks stay as they are.
    EXPECT_GE(written, 2u);
    EXPECT_GE(compressed_blocks, 2u);
}
