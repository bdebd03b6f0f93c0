// End-to-end runs of halvik on small files built byte by byte.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "tool_runner.h"
#include "vgm/commands.h"
#include "vgm/fileio.h"
#include "vgm_builder.h"

using namespace testvgm;

namespace {

const std::string kClear = "\t\t\t\t\t\t\t\t\r";

std::string head(const std::string& name) { return banner("halvik") + "File Name:\t" + name + "\n\n" + kClear; }
std::string written(const std::string& name) { return kClear + name + " written.\n"; }
std::string skipped(const std::string& name) { return kClear + name + " skipped (empty).\n"; }

uint32_t le32(const ByteVec& v, size_t off) {
    return v[off] | (v[off + 1] << 8) | (v[off + 2] << 16) | (uint32_t(v[off + 3]) << 24);
}
void put32(ByteVec& v, size_t off, uint32_t x) {
    for (int i = 0; i < 4; ++i) v[off + i] = static_cast<uint8_t>(x >> (8 * i));
}

// The expected output: `header` (the input's first data-start bytes with the
// given fields replaced), then the stream and the tag, with EOF, GD3 and data
// offsets filled in.
ByteVec expect_file(ByteVec header, const ByteVec& stream, const ByteVec& tag,
                    std::initializer_list<std::pair<size_t, uint32_t>> fields) {
    for (auto [off, v] : fields) put32(header, off, v);
    const uint32_t start = static_cast<uint32_t>(header.size());
    ByteVec out = header;
    out.insert(out.end(), stream.begin(), stream.end());
    put32(out, 0x14, tag.empty() ? 0 : static_cast<uint32_t>(out.size() - 0x14));
    out.insert(out.end(), tag.begin(), tag.end());
    put32(out, 0x04, static_cast<uint32_t>(out.size() - 4));
    put32(out, 0x34, start - 0x34);
    return out;
}

struct Sums {
    uint64_t total = 0;
    int64_t loop = -1;  // samples from the loop point to the end, -1 without one
};

// Sums the waits of a file's stream (0x80-0x8F count their low nibble).
Sums sum_waits(const ByteVec& f) {
    Sums s;
    const uint32_t start = le32(f, 0x34) + 0x34;
    const uint32_t loop = le32(f, 0x1C) ? le32(f, 0x1C) + 0x1C : 0;
    uint64_t at_loop = 0;
    bool saw_loop = false;
    for (size_t pos = start; pos < f.size();) {
        if (pos == loop) {
            saw_loop = true;
            at_loop = s.total;
        }
        if (f[pos] == 0x66) break;
        s.total += vgm::wait_samples(f, pos);
        pos += vgm::command_length(f, pos, vgm::kLongReservedReporting);
    }
    if (saw_loop) s.loop = static_cast<int64_t>(s.total - at_loop);
    return s;
}

}  // namespace

TEST(Halvik, SplitsDualSn76496WithTimingLoopAndTag) {
    VgmBuilder b;
    b.clock(0x0C, 0x40000000 | 3579545)
        .u16(0x28, 0x0009)
        .u8(0x2A, 16)
        .clock(0x10, 3579545)  // single YM2413: absent from output 1
        .clock(0x74, 0x80000000 | 1789772)
        .u8(0x78, 0x10)
        .u8(0x79, 0x01)
        .total_samples(752)
        .loop_samples(752)
        .loop_here()                 // 0x80, the data start
        .cmd({0x50, 0x9F})           // 0x80 first chip
        .cmd({0x61, 0x10, 0x00})     // 16
        .cmd({0x30, 0xBF})           // second chip at 16
        .cmd({0x62})                 // 735
        .cmd({0x50, 0x80})           // first chip at 751
        .cmd({0x70})                 // 1
        .cmd({0x3F, 0x0F})           // second chip's stereo register at 752
        .cmd({0x61, 0x00, 0x00})     // a wait of nothing
        .end()
        .gd3({"Title", "", "Game"});
    const ByteVec in = b.build();
    TempDir dir;
    dir.write("song.vgm", in);
    const RunResult r = run_tool("halvik", {"song.vgm"}, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, head("song.vgm") + written("song_0.vgm") + written("song_1.vgm"));

    const ByteVec in_head(in.begin(), in.begin() + 0x80);
    const ByteVec tag = gd3_block_ascii({"Title", "", "Game"});
    EXPECT_EQ(dir.read("song_0.vgm"),
              expect_file(in_head, {0x50, 0x9F, 0x62, 0x7F, 0x50, 0x80, 0x70, 0x66}, tag,
                          {{0x0C, 3579545}, {0x1C, 0x80 - 0x1C}}));
    ByteVec head1 = in_head;
    head1[0x78] = head1[0x79] = 0;
    EXPECT_EQ(dir.read("song_1.vgm"),
              expect_file(head1, {0x7F, 0x50, 0xBF, 0x62, 0x70, 0x4F, 0x0F, 0x66}, tag,
                          {{0x0C, 3579545}, {0x10, 0}, {0x74, 0}, {0x1C, 0x80 - 0x1C}}));
}

TEST(Halvik, RoutingRewritesAndDacWaits) {
    VgmBuilder b;
    b.clock(0x2C, 0x40000000 | 7670453)
        .cmd({0x67, 0x66, 0x00, 0x02, 0x00, 0x00, 0x00, 0xAA, 0xBB})  // block for the first chip
        .cmd({0x67, 0x66, 0x00, 0x02, 0x00, 0x00, 0x80, 0xCC, 0xDD})  // block for the second chip
        .cmd({0x83})                    // DAC write, then 3 samples
        .cmd({0x61, 0x11, 0x00})        // 17: 20 pending behind the DAC write
        .cmd({0x52, 0x2A, 0x80})
        .cmd({0xA2, 0x2A, 0x7F})        // second YM2612 at 20
        .cmd({0xA0, 0x87, 0x01})        // AY8910 bit 7: second
        .cmd({0xA0, 0x07, 0x02})
        .cmd({0xB4, 0x85, 0x00})
        .cmd({0xC8, 0x80, 0x09, 0x3A})
        .cmd({0xD0, 0x82, 0x70, 0x00})
        .cmd({0x02})                    // unknown: one byte, first output
        .cmd({0x45, 0x01, 0x02})        // reserved, three bytes
        .cmd({0xE0, 0x00, 0x00, 0x00, 0x00})
        .cmd({0x94, 0x00})
        .cmd({0x80})
        .cmd({0x62})                    // a frame behind a DAC write: nothing merged
        .end();
    TempDir dir;
    dir.write("song.vgm", b.build());
    const RunResult r = run_tool("halvik", {"song.vgm"}, dir.path());
    EXPECT_EQ(r.out, head("song.vgm").substr(0, head("song.vgm").size() - kClear.size()) +
                         "Unknown Command: 2\n" + kClear + written("song_0.vgm") + written("song_1.vgm"));
    const ByteVec out0 = dir.read("song_0.vgm");
    const ByteVec out1 = dir.read("song_1.vgm");
    ASSERT_GT(out0.size(), 0x80u);
    ASSERT_GT(out1.size(), 0x80u);
    EXPECT_EQ(ByteVec(out0.begin() + 0x80, out0.end()),
              (ByteVec{0x67, 0x66, 0x00, 0x02, 0x00, 0x00, 0x00, 0xAA, 0xBB, 0x8F, 0x74, 0x52, 0x2A, 0x80,
                       0xA0, 0x07, 0x02, 0x02, 0x45, 0x01, 0x02, 0xE0, 0x00, 0x00, 0x00, 0x00, 0x94, 0x00, 0x80,
                       0x62, 0x66}));
    EXPECT_EQ(ByteVec(out1.begin() + 0x80, out1.end()),
              (ByteVec{0x67, 0x66, 0x00, 0x02, 0x00, 0x00, 0x00, 0xCC, 0xDD, 0x7F, 0x73, 0x52, 0x2A, 0x7F, 0xA0,
                       0x07, 0x01, 0xB4, 0x05, 0x00, 0xC8, 0x00, 0x09, 0x3A, 0xD0, 0x02, 0x70, 0x00, 0x62, 0x66}));
    EXPECT_EQ(le32(out0, 0x14), 0u);
    EXPECT_EQ(le32(out0, 0x2C), 7670453u);
    EXPECT_EQ(le32(out1, 0x2C), 7670453u);
}

TEST(Halvik, WithoutSecondChipOnlyOutputZero) {
    VgmBuilder b;
    b.clock(0x0C, 3579545).cmd({0x50, 0x9F, 0x62, 0x50, 0xBF}).end();  // no end of its own below
    const ByteVec in = b.build();
    TempDir dir;
    dir.write("a.b.vgm", in);
    const RunResult r = run_tool("halvik", {"a.b.vgm"}, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, head("a.b.vgm") + written("a.b_0.vgm") + skipped("a.b_1.vgm"));
    EXPECT_EQ(dir.read("a.b_0.vgm"), in);
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"a.b.vgm", "a.b_0.vgm"}));
}

TEST(Halvik, MissingEndCommandIsAdded) {
    VgmBuilder b;
    b.clock(0x0C, 0x40000000 | 3579545).cmd({0x50, 0x9F, 0x61, 0x10, 0x00, 0x30, 0x9F});
    TempDir dir;
    dir.write("song.vgm", b.build());
    run_tool("halvik", {"song.vgm"}, dir.path());
    const ByteVec out0 = dir.read("song_0.vgm");
    const ByteVec out1 = dir.read("song_1.vgm");
    EXPECT_EQ(ByteVec(out0.begin() + 0x80, out0.end()), (ByteVec{0x50, 0x9F, 0x7F, 0x66}));
    EXPECT_EQ(ByteVec(out1.begin() + 0x80, out1.end()), (ByteVec{0x7F, 0x50, 0x9F, 0x66}));
    EXPECT_EQ(le32(out1, 0x04) + 4, out1.size());
}

TEST(Halvik, LongHeaderLoopInsideACommandAndBadTag) {
    // Data at 0x100: header bytes beyond 228 come from the file itself.
    VgmBuilder b(0x171, 0x100);
    b.clock(0x0C, 0x40000000 | 3579545).u8(0xF0, 0x5A).total_samples(16).loop_samples(16);
    b.cmd({0x50, 0x9F, 0x61, 0x10, 0x00, 0x30, 0x9F}).end();
    ByteVec in = b.build();
    put32(in, 0x1C, 0x101 - 0x1C);  // inside the first command
    const size_t tag_at = in.size();
    const ByteVec bad = {'G', 'd', '3', 'x', 0, 1, 0, 0, 0, 0, 0, 0};
    in.insert(in.end(), bad.begin(), bad.end());
    put32(in, 0x14, static_cast<uint32_t>(tag_at - 0x14));
    put32(in, 0x04, static_cast<uint32_t>(in.size() - 4));
    TempDir dir;
    dir.write("song.vgm", in);
    const RunResult r = run_tool("halvik", {"song.vgm"}, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    const ByteVec in_head(in.begin(), in.begin() + 0x100);
    EXPECT_EQ(dir.read("song_0.vgm"),
              expect_file(in_head, {0x50, 0x9F, 0x7F, 0x66}, {}, {{0x0C, 3579545}, {0x1C, 0}}));
    EXPECT_EQ(dir.read("song_1.vgm"),
              expect_file(in_head, {0x7F, 0x50, 0x9F, 0x66}, {}, {{0x0C, 3579545}, {0x1C, 0}}));
}

TEST(Halvik, LoopSamplesNotMergedIntoADacWriteBeforeTheLoop) {
    VgmBuilder b;
    b.clock(0x2C, 7670453).cmd({0x80}).loop_here().cmd({0x75}).cmd({0x52, 0x2A, 0x00}).end();
    TempDir dir;
    dir.write("song.vgm", b.build());
    run_tool("halvik", {"song.vgm"}, dir.path());
    const ByteVec out0 = dir.read("song_0.vgm");
    EXPECT_EQ(ByteVec(out0.begin() + 0x80, out0.end()), (ByteVec{0x80, 0x75, 0x52, 0x2A, 0x00, 0x66}));
    EXPECT_EQ(le32(out0, 0x1C) + 0x1C, 0x81u);
}

TEST(Halvik, CompressedInputPromptAndWriteFailure) {
    VgmBuilder b;
    b.clock(0x0C, 0x40000000 | 3579545).cmd({0x50, 0x9F, 0x30, 0x9F}).end();
    const ByteVec in = b.build();
    TempDir dir;
    dir.write("song.vgz", gzip(in));
    RunResult r = run_tool("halvik", {}, dir.path(), "song.vgz\n");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, banner("halvik") + "File Name:\t\n" + kClear + written("song_0.vgm") + written("song_1.vgm"));
    const ByteVec out0 = dir.read("song_0.vgm");
    ASSERT_GT(out0.size(), 4u);
    EXPECT_EQ(ByteVec(out0.begin(), out0.begin() + 4), (ByteVec{'V', 'g', 'm', ' '}));

    // Output 0 cannot replace a directory of its name; output 1 is still written.
    std::remove(dir.file("song_0.vgm").c_str());
    std::remove(dir.file("song_1.vgm").c_str());
    ASSERT_EQ(mkdir(dir.file("song_0.vgm").c_str(), 0755), 0);
    r = run_tool("halvik", {"song.vgz"}, dir.path());
    EXPECT_NE(r.exit_code, 0);
    EXPECT_EQ(r.out, head("song.vgz") + kClear + "Error writing song_0.vgm!\n" + written("song_1.vgm"));
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"song.vgz", "song_0.vgm", "song_1.vgm"}));

    r = run_tool("halvik", {}, dir.path(), "\n");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, banner("halvik") + "File Name:\t");
    r = run_tool("halvik", {"missing.vgm"}, dir.path());
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, banner("halvik") + "File Name:\tmissing.vgm\nError opening the file!\n");
}

TEST(Halvik, CorpusDualChipFiles) {
    const std::string corpus = corpus_dir();
    if (corpus.empty()) GTEST_SKIP() << "no corpus";
    for (const std::string file : {"vgm-opl/MainBGM5.vgm", "vgm-sega/wb_psg2.vgz", "vgm-sega/victory.vgm"}) {
        // Outputs go beside the input: work on a copy.
        TempDir dir;
        const std::string name = file.substr(file.find('/') + 1);
        std::vector<uint8_t> bytes;
        ASSERT_TRUE(vgm::read_file(corpus + "/" + file, bytes)) << file;
        dir.write(name, bytes);
        const RunResult r = run_tool("halvik", {name}, dir.path());
        EXPECT_EQ(r.exit_code, 0) << file;
        const std::string base = name.substr(0, name.rfind('.'));
        for (int k = 0; k < 2; ++k) {
            const std::string out_name = base + "_" + std::to_string(k) + ".vgm";
            if (!dir.exists(out_name)) {
                EXPECT_EQ(k, 1) << file;
                EXPECT_NE(r.out.find(out_name + " skipped (empty).\n"), std::string::npos) << file;
                continue;
            }
            const ByteVec out = dir.read(out_name);
            ASSERT_GT(out.size(), 0x80u) << out_name;
            EXPECT_EQ(le32(out, 0x04) + 4, out.size()) << out_name;
            const Sums s = sum_waits(out);
            EXPECT_EQ(s.total, le32(out, 0x18)) << out_name;
            if (le32(out, 0x1C) != 0) {
                EXPECT_EQ(s.loop, le32(out, 0x20)) << out_name;
            }
            const uint32_t gd3 = le32(out, 0x14) + 0x14;
            ASSERT_LT(gd3 + 12, out.size()) << out_name;
            EXPECT_EQ(gd3 + 12 + le32(out, gd3 + 8), out.size()) << out_name;
            for (int c = 0; c < 2; ++c) EXPECT_EQ(le32(out, c == 0 ? 0x0C : 0x50) & 0x40000000u, 0u) << out_name;
        }
    }
}
