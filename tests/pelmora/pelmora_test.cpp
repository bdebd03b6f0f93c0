// End-to-end runs of pelmora on files built byte by byte: the console text,
// the exit code and the bytes written.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "fixtures.h"
#include "tool_runner.h"
#include "vgm/fileio.h"

using namespace pelfix;
using namespace testvgm;

namespace {

const std::string kClear = "\t\t\t\t\t\t\t\t\r";
const std::string kStep1 = "Step 1: Merge single memory writes into larger blocks ...\n";
const std::string kStep2 = "Step 2: Generate Block Data ...\n";
const std::string kStep3 = "Step 3: Rewrite VGM with PCM database ...\n";
constexpr size_t kStart = 0x80;

std::string head(const std::string& name) { return banner("pelmora") + "File Name:\t" + name + "\n\n"; }

uint32_t le32(const ByteVec& v, size_t off) {
    return v[off] | (v[off + 1] << 8) | (v[off + 2] << 16) | (uint32_t(v[off + 3]) << 24);
}
void put32(ByteVec& v, size_t off, uint32_t x) {
    for (int i = 0; i < 4; ++i) v[off + i] = static_cast<uint8_t>(x >> (8 * i));
}

ByteVec header_of(const ByteVec& file) { return ByteVec(file.begin(), file.begin() + kStart); }

// The file pelmora writes for `header` (the input's first 0x80 bytes) and
// `stream`: version at least 1.60, GD3 and EOF offsets filled in.
ByteVec expect_file(ByteVec header, const ByteVec& stream, const ByteVec& tag = {}, int64_t loop = -1) {
    if (le32(header, 8) < 0x160) put32(header, 8, 0x160);
    put32(header, 0x1C, loop < 0 ? 0 : static_cast<uint32_t>(kStart + loop - 0x1C));
    ByteVec out = cat({header, stream});
    if (!tag.empty()) put32(out, 0x14, static_cast<uint32_t>(out.size() - 0x14));
    out.insert(out.end(), tag.begin(), tag.end());
    put32(out, 4, static_cast<uint32_t>(out.size() - 4));
    return out;
}

std::string compression(uint32_t in, uint32_t out) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "Data Compression: %u -> %u (%.1f %%)\n", in, out,
                  static_cast<double>(static_cast<float>(out) * 100.0f / static_cast<float>(in)));
    return buf;
}

std::string stats(const std::string& line) { return kClear + line + "\n"; }

ByteVec rf68(const ByteVec& stream, uint32_t version = 0x151) {
    VgmBuilder b(version);
    b.clock(0x40, kRf5c68Clock).raw(stream);
    return b.build();
}

const ByteVec kA = pattern(100, 1);

}  // namespace

TEST(Pelmora, EqualBlocksShareOneDatabaseEntry) {
    // Two RF5C68 RAM-write blocks with the same 100 bytes at 0x0000 and 0x4000.
    const ByteVec in = rf68(cat({ram(0xC0, 0x0000, kA), {0x62}, ram(0xC0, 0x4000, kA), {0x66}}));
    TempDir dir;
    dir.write("song.vgz", gzip(in));
    const RunResult r = run_tool("pelmora", {"song.vgz"}, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    const ByteVec stream = cat({block(0x01, kA), pcm_write(0x01, 0, 0x0000, 100), {0x62},
                                pcm_write(0x01, 0, 0x4000, 100), {0x66}});
    EXPECT_EQ(r.out, head("song.vgz") + kStep1 + kClear + kStep2 +
                         stats("1 Blocks created (0.00 MB, 2x used, 0x single use).") + kStep3 + kClear +
                         compression(220, static_cast<uint32_t>(stream.size())) + "File written.\n");
    ASSERT_TRUE(dir.exists("song_optimized.vgm"));
    EXPECT_EQ(dir.read("song_optimized.vgm"), expect_file(header_of(in), stream));
}

TEST(Pelmora, OutputNameIsTheSecondArgumentUnlessEmpty) {
    const ByteVec in = rf68(cat({ram(0xC0, 0, kA), ram(0xC0, 0x4000, kA), {0x66}}));
    struct Case {
        std::vector<std::string> args;
        std::string written;
    } cases[] = {
        {{"a.b.vgm", "out.vgm"}, "out.vgm"},
        {{"a.b.vgm", ""}, "a.b_optimized.vgm"},
        {{"a.b.vgm", "x.vgm", "extra"}, "x.vgm"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        dir.write("a.b.vgm", in);
        const RunResult r = run_tool("pelmora", c.args, dir.path());
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(dir.list(), (std::vector<std::string>{"a.b.vgm", c.written})) << c.written;
    }
}

TEST(Pelmora, VersionIsRaisedTo160AndNewerVersionsKept) {
    for (uint32_t v : {0x151u, 0x160u, 0x161u, 0x171u}) {
        TempDir dir;
        dir.write("s.vgm", rf68(cat({ram(0xC0, 0, kA), ram(0xC0, 0x4000, kA), {0x66}}), v));
        ASSERT_EQ(run_tool("pelmora", {"s.vgm"}, dir.path()).exit_code, 0);
        EXPECT_EQ(le32(dir.read("s_optimized.vgm"), 8), std::max(v, 0x160u)) << std::hex << v;
    }
}

TEST(Pelmora, PrefixesExtensionsChipsAndSingleUses) {
    const ByteVec c100 = pattern(100, 3);
    const ByteVec c50(c100.begin(), c100.begin() + 50);
    const ByteVec d = pattern(80, 4);
    // chip 0: A, the first 50 bytes of A; 50 bytes C, then all 100 of C (the
    // entry grows); D once. chip 1: A twice (an entry of its own).
    const ByteVec body = cat({ram(0xC0, 0x0000, kA), ram(0xC0, 0x1000, ByteVec(kA.begin(), kA.begin() + 50)),
                              ram(0xC0, 0x2000, c50), ram(0xC0, 0x3000, c100), ram(0xC0, 0x4000, d),
                              ram(0xC1, 0x0000, kA), ram(0xC1, 0x1000, kA), {0x66}});
    VgmBuilder b;
    b.clock(0x40, kRf5c68Clock).clock(0x6C, kRf5c164Clock).raw(body);
    const ByteVec in = b.build();
    TempDir dir;
    dir.write("p.vgm", in);
    const RunResult r = run_tool("pelmora", {"p.vgm"}, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    const ByteVec stream = cat({block(0x01, cat({kA, c100})), block(0x02, kA), pcm_write(1, 0, 0x0000, 100),
                                pcm_write(1, 0, 0x1000, 50), pcm_write(1, 100, 0x2000, 50),
                                pcm_write(1, 100, 0x3000, 100), ram(0xC0, 0x4000, d), pcm_write(2, 0, 0x0000, 100),
                                pcm_write(2, 0, 0x1000, 100), {0x66}});
    EXPECT_EQ(r.out, head("p.vgm") + kStep1 + kClear + kStep2 +
                         stats("4 Blocks created (0.00 MB, 7x used, 1x single use).") + kStep3 + kClear +
                         compression(static_cast<uint32_t>(body.size()), static_cast<uint32_t>(stream.size())) +
                         "File written.\n");
    EXPECT_EQ(dir.read("p_optimized.vgm"), expect_file(header_of(in), stream));
}

TEST(Pelmora, ACommonBeginningOfTwoEntriesIsAUseOfBothAndCopiesFromTheFirst) {
    ByteVec p = pattern(100, 5);
    ByteVec q = p;
    q[60] ^= 0xFF;
    const ByteVec x(p.begin(), p.begin() + 40);
    const ByteVec in = rf68(cat({ram(0xC0, 0x0000, p), ram(0xC0, 0x1000, q), ram(0xC0, 0x2000, x), {0x66}}));
    TempDir dir;
    dir.write("c.vgm", in);
    const RunResult r = run_tool("pelmora", {"c.vgm"}, dir.path());
    const ByteVec stream = cat({block(0x01, cat({p, q})), pcm_write(1, 0, 0, 100), pcm_write(1, 100, 0x1000, 100),
                                pcm_write(1, 0, 0x2000, 40), {0x66}});
    EXPECT_NE(r.out.find(stats("2 Blocks created (0.00 MB, 4x used, 0x single use).")), std::string::npos);
    EXPECT_EQ(dir.read("c_optimized.vgm"), expect_file(header_of(in), stream));
}

TEST(Pelmora, NothingToShareWritesNothing) {
    struct Case {
        const char* what;
        ByteVec stream;
        bool warns;
        std::string stats_line;
    } cases[] = {
        {"all blocks differ", cat({ram(0xC0, 0, kA), ram(0xC0, 0x4000, pattern(100, 9)), mem(0xC1, 0x8000, 1), {0x66}}),
         true, "2 Blocks created (0.00 MB, 2x used, 2x single use)."},
        {"no RAM writes", {0xB0, 0x08, 0x01, 0x70, 0x66}, false, "0 Blocks created (0.00 MB, 0x used, 0x single use)."},
    };
    for (const Case& c : cases) {
        TempDir dir;
        dir.write("n.vgm", rf68(c.stream));
        const RunResult r = run_tool("pelmora", {"n.vgm"}, dir.path());
        EXPECT_EQ(r.exit_code, 0) << c.what;
        const std::string warn = c.warns ? kClear + "Warning! Single Memory Writes left!\n" : "";
        EXPECT_EQ(r.out, head("n.vgm") + kStep1 + warn + kClear + kStep2 + stats(c.stats_line) +
                             "Can't optimize further.\n")
            << c.what;
        EXPECT_EQ(dir.list(), std::vector<std::string>{"n.vgm"}) << c.what;
    }
}

TEST(Pelmora, MegabytesOfTheDatabaseInTheStatistics) {
    // 40 different 64 KiB images, each written twice: 2.5 MB of entries.
    ByteVec body;
    for (uint32_t i = 0; i < 40; ++i) {
        const ByteVec img = pattern(0x10000, 100 + i);
        body = cat({body, ram(0xE0, 0, img), {0x70}, ram(0xE0, 0x20000, img), {0x70}});
    }
    body.push_back(0x66);
    VgmBuilder b(0x151, 0x100);
    b.clock(0xB8, kScspClock).raw(body);
    TempDir dir;
    dir.write("m.vgm", b.build());
    const RunResult r = run_tool("pelmora", {"m.vgm"}, dir.path());
    EXPECT_NE(r.out.find(stats("640 Blocks created (2.50 MB, 1280x used, 0x single use).")), std::string::npos) << r.out;
    const ByteVec out = dir.read("m_optimized.vgm");
    const size_t start = 0x100;
    ASSERT_GT(out.size(), start + 7 + 40 * 0x10000 + 12);
    // Each 64 KiB run went into 4 KiB blocks in step 1: one SCSP database
    // block of 40 * 64 KiB, then 0x68s of 4 KiB from bank type 0x06.
    EXPECT_EQ(ByteVec(out.begin() + start, out.begin() + start + 3), (ByteVec{0x67, 0x66, 0x06}));
    EXPECT_EQ(le32(out, start + 3), 40u * 0x10000);
    const size_t first = start + 7 + 40 * 0x10000;
    EXPECT_EQ(ByteVec(out.begin() + first, out.begin() + first + 12), pcm_write(6, 0, 0, 0x1000));
}

TEST(Pelmora, WaitsBetweenCommandsJoinAndAreWrittenAgain) {
    struct Case {
        const char* what;
        ByteVec between;  // input between the two equal blocks
        ByteVec expect;   // output between their two 0x68
    } cases[] = {
        {"two frames stay", {0x62, 0x62}, {0x62, 0x62}},
        {"0x61 100 + 0x61 200", cat({wait61(100), wait61(200)}), wait61(300)},
        {"0x70 0x70", {0x70, 0x70}, {0x71}},
        {"1617", wait61(1617), {0x63, 0x62}},
        {"1620", wait61(1620), wait61(1620)},
        {"1480", wait61(1480), {0x62, 0x62, 0x79}},
        {"1780", {0x63, 0x63, 0x7F}, {0x63, 0x63, 0x7F}},
        {"17..32", {0x7F, 0x70}, {0x7F, 0x70}},
        {"65536", cat({wait61(0xFFFF), {0x70}}), cat({wait61(0xFFFF), {0x70}})},
        {"around a dropped type-1 block", cat({wait61(100), block(0x01, {1, 2, 3}), wait61(200)}), wait61(300)},
        {"around a dropped type-2 block", cat({{0x70}, block(0x02, {}), {0x70}}), {0x71}},
        {"a DAC write is no wait", {0x70, 0x81, 0x70}, {0x70, 0x81, 0x70}},
        {"a kept block splits them", cat({{0x70}, block(0x06, {9}), {0x70}}), cat({{0x70}, block(0x06, {9}), {0x70}})},
    };
    for (const Case& c : cases) {
        const ByteVec in = rf68(cat({ram(0xC0, 0, kA), c.between, ram(0xC0, 0x4000, kA), {0x66}}));
        TempDir dir;
        dir.write("w.vgm", in);
        EXPECT_EQ(run_tool("pelmora", {"w.vgm"}, dir.path()).exit_code, 0);
        const ByteVec stream = cat({block(0x01, kA), pcm_write(1, 0, 0, 100), c.expect, pcm_write(1, 0, 0x4000, 100),
                                    {0x66}});
        EXPECT_EQ(dir.read("w_optimized.vgm"), expect_file(header_of(in), stream)) << c.what;
    }
    // Waits on both sides of a replaced block stay apart.
    const ByteVec in = rf68(cat({ram(0xC0, 0, kA), {0x70}, ram(0xC0, 0x4000, kA), {0x70}, ram(0xC0, 0x8000, kA), {0x66}}));
    TempDir dir;
    dir.write("w.vgm", in);
    run_tool("pelmora", {"w.vgm"}, dir.path());
    const ByteVec stream = cat({block(0x01, kA), pcm_write(1, 0, 0, 100), {0x70}, pcm_write(1, 0, 0x4000, 100), {0x70},
                                pcm_write(1, 0, 0x8000, 100), {0x66}});
    EXPECT_EQ(dir.read("w_optimized.vgm"), expect_file(header_of(in), stream));
}

TEST(Pelmora, LoopPointAndTagAreCarried) {
    const ByteVec tag = gd3_block_ascii({"Track", "", "Game"});
    struct Case {
        const char* what;
        ByteVec before, after;  // the input around the loop point
        ByteVec out_before, out_after;
    } cases[] = {
        // At a wait: what was pending is written first, the loop's own wait
        // stays a wait of its own.
        {"at a wait", cat({ram(0xC0, 0, kA), wait61(100)}), cat({wait61(200), ram(0xC0, 0x4000, kA), {0x66}}),
         cat({block(0x01, kA), pcm_write(1, 0, 0, 100), wait61(100)}),
         cat({wait61(200), pcm_write(1, 0, 0x4000, 100), {0x66}})},
        // At a replaced block: at its 0x68.
        {"at a replaced block", cat({ram(0xC0, 0, kA), {0x70}}), cat({ram(0xC0, 0x4000, kA), {0x70, 0x66}}),
         cat({block(0x01, kA), pcm_write(1, 0, 0, 100), {0x70}}), cat({pcm_write(1, 0, 0x4000, 100), {0x70, 0x66}})},
        // At a dropped block: at what follows it.
        {"at a dropped block", cat({ram(0xC0, 0, kA), {0x70}}), cat({block(0x01, {7}), {0x70}, ram(0xC0, 0x4000, kA), {0x66}}),
         cat({block(0x01, kA), pcm_write(1, 0, 0, 100), {0x70}}), cat({{0x70}, pcm_write(1, 0, 0x4000, 100), {0x66}})},
        // At a copied command.
        {"at a register write", cat({ram(0xC0, 0, kA), {0x70}}), cat({{0xB0, 0x08, 0x01, 0x70}, ram(0xC0, 0x4000, kA), {0x66}}),
         cat({block(0x01, kA), pcm_write(1, 0, 0, 100), {0x70}}),
         cat({{0xB0, 0x08, 0x01, 0x70}, pcm_write(1, 0, 0x4000, 100), {0x66}})},
    };
    for (const Case& c : cases) {
        VgmBuilder b;
        b.clock(0x40, kRf5c68Clock).raw(c.before).loop_here().raw(c.after).gd3({"Track", "", "Game"});
        const ByteVec in = b.build();
        TempDir dir;
        dir.write("l.vgm", in);
        const RunResult r = run_tool("pelmora", {"l.vgm"}, dir.path());
        EXPECT_EQ(r.out.find("Loop"), std::string::npos) << c.what;
        EXPECT_EQ(dir.read("l_optimized.vgm"),
                  expect_file(header_of(in), cat({c.out_before, c.out_after}), tag,
                              static_cast<int64_t>(c.out_before.size())))
            << c.what;
    }
}

TEST(Pelmora, ALoopPointInsideACommandIsReportedAndDropped) {
    ByteVec in = rf68(cat({ram(0xC0, 0, kA), {0x70}, ram(0xC0, 0x4000, kA), {0x66}}));
    put32(in, 0x1C, static_cast<uint32_t>(kStart + 3 - 0x1C));
    TempDir dir;
    dir.write("l.vgm", in);
    const RunResult r = run_tool("pelmora", {"l.vgm"}, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    // Step 1 reports it; the step-1 image has no loop, so step 3 is silent.
    EXPECT_EQ(r.out, head("l.vgm") + kStep1 + kClear + "Error! Failed to relocate Loop Point!\n" + kStep2 +
                         stats("1 Blocks created (0.00 MB, 2x used, 0x single use).") + kStep3 + kClear +
                         compression(220, 133) + "File written.\n");
    EXPECT_EQ(le32(dir.read("l_optimized.vgm"), 0x1C), 0u);
}

TEST(Pelmora, WithoutAnEndCommandThePendingWaitsAreKept) {
    const ByteVec in = rf68(cat({ram(0xC0, 0, kA), wait61(100), ram(0xC0, 0x4000, kA), wait61(200)}));
    TempDir dir;
    dir.write("e.vgm", in);
    EXPECT_EQ(run_tool("pelmora", {"e.vgm"}, dir.path()).exit_code, 0);
    const ByteVec stream =
        cat({block(0x01, kA), pcm_write(1, 0, 0, 100), wait61(100), pcm_write(1, 0, 0x4000, 100), wait61(200)});
    EXPECT_EQ(dir.read("e_optimized.vgm"), expect_file(header_of(in), stream));
}

TEST(Pelmora, OnePcmWriteGivesTheHintsAndTheStepOneResultWhenSmaller) {
    const std::string hints =
        "This tool can only optimize PCM streams and this vgm has no PCM stream.\n"
        "You should try the cindrel for further compression.\n";
    // Later bank selects drop out: the step-1 image is smaller and written.
    const ByteVec smaller = rf68(cat({{0xB0, 0x07, 0x00}, mem(0xC1, 0x10, 0x55), {0xB0, 0x07, 0x01, 0xB0, 0x07, 0x02, 0x66}}));
    TempDir dir;
    dir.write("h.vgm", smaller);
    RunResult r = run_tool("pelmora", {"h.vgm"}, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, head("h.vgm") + kStep1 + kClear + "Warning! Single Memory Writes left!\n" + kClear + hints +
                         compression(14, 8) + "File written.\n");
    ByteVec expect = cat({header_of(smaller), {0xB0, 0x07, 0x00}, mem(0xC1, 0x10, 0x55), {0x66}});
    put32(expect, 4, static_cast<uint32_t>(expect.size() - 4));
    EXPECT_EQ(dir.read("h_optimized.vgm"), expect);

    // Nothing changes: nothing is written.
    TempDir same;
    same.write("h.vgm", rf68(cat({ram(0xC0, 0x10, {1, 2, 3}), {0x66}})));
    r = run_tool("pelmora", {"h.vgm"}, same.path());
    EXPECT_EQ(r.out, head("h.vgm") + kStep1 + kClear + hints + compression(13, 13));
    EXPECT_EQ(same.list(), std::vector<std::string>{"h.vgm"});
}

TEST(Pelmora, StartUpChecksAndTheirExitCodes) {
    struct Case {
        const char* what;
        ByteVec file;  // empty: no file at all
        std::string input;
        std::string out;  // after the head
        int exit_code;
    } cases[] = {
        {"version 1.50", rf68({0x66}, 0x150), "", "VGM Version 1.50!? Are kidding me??\n", 2},
        {"version 1.01", [] {
             VgmBuilder b(0x101, 0x40);
             b.clock(0x40, kRf5c68Clock).end();
             return b.build();
         }(), "", "VGM Version 1.01!? Are kidding me??\n", 2},
        {"no RF-PCM chip", [] {
             VgmBuilder b;
             b.clock(0x2C, 7670453).end();
             return b.build();
         }(), "", "No RF-PCM chips used!\n", 2},
        {"SCSP only", [] {
             VgmBuilder b(0x151, 0x100);
             b.clock(0xB8, kScspClock).end();
             return b.build();
         }(), "", kStep1 + kClear + kStep2 + stats("0 Blocks created (0.00 MB, 0x used, 0x single use).") +
                      "Can't optimize further.\n", 0},
        {"already optimized", rf68(cat({pcm_write(1, 0, 0, 1), {0x66}})), "", kStep1 + kClear + "VGM already optimized!\n", 0},
        {"not a VGM file", {'R', 'I', 'F', 'F', 0, 0, 0, 0}, "", "Error opening the file!\n", 1},
        {"no such file", {}, "", "Error opening the file!\n", 1},
    };
    for (const Case& c : cases) {
        TempDir dir;
        if (!c.file.empty()) dir.write("f.vgm", c.file);
        const RunResult r = run_tool("pelmora", {"f.vgm"}, dir.path());
        EXPECT_EQ(r.exit_code, c.exit_code) << c.what;
        const std::string h = c.out.rfind("Error opening", 0) == 0 ? banner("pelmora") + "File Name:\tf.vgm\n" : head("f.vgm");
        EXPECT_EQ(r.out, h + c.out) << c.what;
        EXPECT_EQ(dir.list().size(), c.file.empty() ? 0u : 1u) << c.what;
    }
    // An empty name at the prompt.
    TempDir dir;
    const RunResult r = run_tool("pelmora", {}, dir.path(), "\n");
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, banner("pelmora") + "File Name:\t");
}

TEST(Pelmora, TheNameCanBeTypedAtThePrompt) {
    TempDir dir;
    dir.write("my song.vgm", rf68(cat({ram(0xC0, 0, kA), ram(0xC0, 0x4000, kA), {0x66}})));
    const RunResult r = run_tool("pelmora", {}, dir.path(), "'my song.vgm'\n");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out.rfind(banner("pelmora") + "File Name:\t\n" + kStep1, 0), 0u) << r.out;
    EXPECT_TRUE(dir.exists("my song_optimized.vgm"));
}

TEST(Pelmora, AnOutputThatCannotBeWrittenFailsAndLeavesNothing) {
    const ByteVec in = rf68(cat({ram(0xC0, 0, kA), ram(0xC0, 0x4000, kA), {0x66}}));
    const std::string tail = kStep1 + kClear + kStep2 + stats("1 Blocks created (0.00 MB, 2x used, 0x single use).") +
                             kStep3 + kClear + compression(219, 132);
    {
        // The output name is an existing directory.
        TempDir dir;
        dir.write("s.vgm", in);
        ::mkdir(dir.file("s_optimized.vgm").c_str(), 0755);
        const RunResult r = run_tool("pelmora", {"s.vgm"}, dir.path());
        EXPECT_NE(r.exit_code, 0);
        EXPECT_EQ(r.out, head("s.vgm") + tail + "Error writing s_optimized.vgm!\n");
        EXPECT_EQ(dir.list(), (std::vector<std::string>{"s.vgm", "s_optimized.vgm"}));
        EXPECT_TRUE(std::filesystem::is_empty(dir.file("s_optimized.vgm")));
    }
    {
        // The file size limit stops the write half-way (SIGXFSZ ignored, so
        // write() fails with EFBIG); the console log stays below the limit.
        const ByteVec big = pattern(3000, 8);
        const ByteVec in2 = rf68(cat({ram(0xC0, 0, big), ram(0xC0, 0x4000, big), {0x66}}));
        TempDir dir;
        dir.write("s.vgm", in2);
        const std::string log = dir.file("log.txt");
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            if (chdir(dir.path().c_str()) != 0) _exit(90);
            if (!freopen(log.c_str(), "w", stdout)) _exit(91);
            signal(SIGXFSZ, SIG_IGN);
            struct rlimit lim = {2048, 2048};
            setrlimit(RLIMIT_FSIZE, &lim);
            const std::string tool = tool_path("pelmora");
            execl(tool.c_str(), tool.c_str(), "s.vgm", static_cast<char*>(nullptr));
            _exit(92);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_NE(WEXITSTATUS(status), 0);
        EXPECT_LT(WEXITSTATUS(status), 90);
        const ByteVec out = dir.read("log.txt");
        EXPECT_EQ(std::string(out.begin(), out.end()),
                  head("s.vgm") + kStep1 + kClear + kStep2 + stats("1 Blocks created (0.00 MB, 2x used, 0x single use).") +
                      kStep3 + kClear + compression(6019, 3032) + "Error writing s_optimized.vgm!\n");
        EXPECT_EQ(dir.list(), (std::vector<std::string>{"log.txt", "s.vgm"}));
    }
}

TEST(Pelmora, RealFilesRunThrough) {
    const std::string corpus = corpus_dir();
    if (corpus.empty()) GTEST_SKIP() << "no corpus";
    int runs = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(corpus)) {
        const std::string ext = e.path().extension().string();
        if (ext != ".vgm" && ext != ".vgz" && ext != ".VGM") continue;
        const ByteVec original = gunzip([&] {
            ByteVec v;
            vgm::read_file(e.path().string(), v);
            return v;
        }());
        // As it stands: these files drive no RF-PCM chip, or are too old.
        {
            TempDir dir;
            dir.write("r.vgm", original);
            const RunResult r = run_tool("pelmora", {"r.vgm"}, dir.path());
            EXPECT_EQ(r.exit_code, 2) << e.path();
            EXPECT_TRUE(r.out == head("r.vgm") + "No RF-PCM chips used!\n" ||
                        r.out.find("!? Are kidding me??\n") != std::string::npos)
                << e.path() << r.out;
            EXPECT_EQ(dir.list().size(), 1u);
        }
        // With an RF5C164 clock and version 1.51 or later the real command
        // streams go through every walk: no RAM writes, nothing to share.
        ByteVec patched = original;
        if (patched.size() < 0x70 || le32(patched, 8) < 0x151) continue;
        put32(patched, 0x6C, kRf5c164Clock);
        if (le32(patched, 0x34) + 0x34 < 0x70) continue;  // the field would lie in the stream
        TempDir dir;
        dir.write("r.vgm", patched);
        const RunResult r = run_tool("pelmora", {"r.vgm"}, dir.path());
        EXPECT_EQ(r.exit_code, 0) << e.path();
        EXPECT_NE(r.out.find(stats("0 Blocks created (0.00 MB, 0x used, 0x single use).") + "Can't optimize further.\n"),
                  std::string::npos)
            << e.path() << r.out;
        EXPECT_EQ(dir.list().size(), 1u);
        ++runs;
    }
    EXPECT_GT(runs, 0);
}

TEST(Pelmora, EmptyBlocksAreUsesOfEveryEntryButStayAsTheyAre) {
    // 2000 different 2-byte blocks, each followed by an empty one: the i-th
    // empty block matches all i entries so far. Every use is counted (2000 +
    // 2001000), no entry is used once, and the empty blocks are not turned
    // into 0x68 commands of no bytes; the result is larger, so nothing is
    // written.
    ByteVec body;
    for (uint32_t i = 0; i < 2000; ++i)
        body = cat({body, ram(0xC0, 0x10 * i, {static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8)}),
                    ram(0xC0, 0xF000, {})});
    body.push_back(0x66);
    TempDir dir;
    dir.write("z.vgm", rf68(body));
    const RunResult r = run_tool("pelmora", {"z.vgm"}, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    const uint32_t out_len = 7 + 4000 + 2000 * 12 + 2000 * 9 + 1;
    EXPECT_EQ(r.out, head("z.vgm") + kStep1 + kClear + kStep2 +
                         stats("2000 Blocks created (0.00 MB, 2003000x used, 0x single use).") + kStep3 + kClear +
                         compression(static_cast<uint32_t>(body.size()), out_len));
    EXPECT_EQ(dir.list(), std::vector<std::string>{"z.vgm"});
}
