// End-to-end runs of trelwin on small files built byte by byte.
#include <gtest/gtest.h>

#include "tool_runner.h"
#include "vgm_builder.h"

using namespace testvgm;

namespace {

const std::string kBanner = banner("trelwin", false);
const std::string kHead = kBanner + "File Name:\tsong.vgm\n\n";
const std::string kTail = "\t\t\t\t\t\t\t\t\rFile written.\n";
const std::string kUsage =
    "Usage: trelwin -mode input.vgm [output.vgm]\n"
    "Modes:\n"
    "    32  - OPL3 -> (Single) OPL2\n"
    "    3d2 - OPL3 -> Dual OPL2\n"
    "    d22 - Dual OPL2 -> Single OPL2\n"
    "    d23 - Dual OPL2 -> OPL3\n";

constexpr uint32_t kOpl3Clock = 14318180;
constexpr uint32_t kDual = 0x40000000;
constexpr uint32_t kPanned = 0xC0000000;

uint32_t le32(const ByteVec& v, size_t off) {
    return v[off] | (v[off + 1] << 8) | (v[off + 2] << 16) | (uint32_t(v[off + 3]) << 24);
}
void put32(ByteVec& v, size_t off, uint32_t x) {
    for (int i = 0; i < 4; ++i) v[off + i] = static_cast<uint8_t>(x >> (8 * i));
}

struct OplRun {
    RunResult r;
    ByteVec in;
    std::vector<std::string> files;  // the directory after the run
    ByteVec out;                     // the default output, if written
};

OplRun run_mode(const std::string& mode, const VgmBuilder& b, const std::string& out_name) {
    TempDir dir;
    OplRun run;
    run.in = b.build();
    dir.write("song.vgm", run.in);
    run.r = run_tool("trelwin", {mode, "song.vgm"}, dir.path());
    run.files = dir.list();
    run.out = dir.read(out_name);
    return run;
}

}  // namespace

TEST(Trelwin, ArgumentsAndUsage) {
    TempDir dir;
    // Arguments that do not have the form "modes, input": the usage text.
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {}, {"song.vgm"}, {"-x", "song.vgm"}, {"-d22"}, {"-d22", "-32"}, {"song.vgm", "-d22"}}) {
        const RunResult r = run_tool("trelwin", args, dir.path());
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.out, kBanner + kUsage) << args.size();
    }
    // The input name is never asked for; an empty one ends the run.
    RunResult r = run_tool("trelwin", {"-32", ""}, dir.path(), "song.vgm\n");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, kBanner + "File Name:\t\n");
    // An argument starting with "-" that is no mode is the input name.
    r = run_tool("trelwin", {"-32", "-song.vgm"}, dir.path());
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, kBanner + "File Name:\t-song.vgm\nError opening the file!\n");
}

TEST(Trelwin, LastModeWinsAndCaseIsIgnored) {
    VgmBuilder b;
    b.clock(0x50, kPanned | 3579545).cmd({0x5A, 0xB0, 0x2A}).end();
    TempDir dir;
    dir.write("song.vgm", b.build());
    RunResult r = run_tool("trelwin", {"-32", "-D23", "song.vgm"}, dir.path());
    EXPECT_EQ(r.out, kHead + kTail);
    EXPECT_EQ(dir.read("song_opl3.vgm").at(0x80), 0x5F);
    r = run_tool("trelwin", {"-D22", "song.vgm", "named.vgm"}, dir.path());
    EXPECT_EQ(r.out, kHead + kTail);
    EXPECT_EQ(le32(dir.read("named.vgm"), 0x50), 3579545u);
}

TEST(Trelwin, RefusalsWriteNothing) {
    struct Case {
        std::string mode;
        size_t clock_off;
        uint32_t clock;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"-32", 0x5C, kDual | kOpl3Clock, "Sorry, but I can't work with Dual OPL3!\n"},
        {"-3d2", 0x5C, kDual | kOpl3Clock, "Sorry, but I can't work with Dual OPL3!\n"},
        {"-d22", 0x50, 3579545, "Sorry, but I need DualOPL2!\n"},
        {"-d23", 0x50, kDual | 3579545, "Sorry, but currently I need panned DualOPL2!\n"},
        {"-d23", 0x50, kPanned & ~kDual, "Sorry, but currently I need panned DualOPL2!\n"},
        // The chip to convert from is missing: no message.
        {"-32", 0x50, 3579545, ""},
        {"-3d2", 0x50, 3579545, ""},
        {"-d22", 0x5C, kOpl3Clock, ""},
        {"-d23", 0x5C, kOpl3Clock, ""},
    };
    for (const auto& c : cases) {
        VgmBuilder b;
        b.clock(c.clock_off, c.clock).cmd({0x5A, 0x20, 0x01}).end();
        const OplRun run = run_mode(c.mode, b, "song_opl2.vgm");
        EXPECT_EQ(run.r.exit_code, 0) << c.mode;
        EXPECT_EQ(run.r.out, kHead + c.message) << c.mode;
        EXPECT_EQ(run.files, std::vector<std::string>{"song.vgm"}) << c.mode;
    }
}

TEST(Trelwin, Opl3ToSingleOpl2) {
    VgmBuilder b;
    b.clock(0x5C, kOpl3Clock)
        .cmd({0x5E, 0x20, 0x01})   // 0x80: port 0 -> 0x5A
        .cmd({0x5F, 0x05, 0x01})   // 0x83: OPL3 mode on: warning, then a zero wait
        .cmd({0x5F, 0xB0, 0x2A})   // 0x86: any port-1 write -> 61 00 00
        .cmd({0x5F, 0x05, 0x00})   // 0x89: mode off: no warning
        .cmd({0x40, 0x5E})         // 0x8C: reserved, two bytes long here
        .cmd({0x5E, 0xA0, 0x10})   // 0x8E
        .cmd({0x5A, 0xA0, 0x10})   // 0x91: an OPL2 write passes
        .end();
    const OplRun run = run_mode("-32", b, "song_opl2.vgm");
    EXPECT_EQ(run.r.exit_code, 0);
    EXPECT_EQ(run.r.out, kHead + "Warning! True OPL3 mode enabled at 0x000083!\n" + kTail);
    ByteVec expected = run.in;
    put32(expected, 0x50, kOpl3Clock >> 2);
    put32(expected, 0x5C, 0);
    const std::vector<std::pair<size_t, std::vector<uint8_t>>> edits = {
        {0x80, {0x5A, 0x20, 0x01}}, {0x83, {0x61, 0, 0}}, {0x86, {0x61, 0, 0}}, {0x89, {0x61, 0, 0}},
        {0x8E, {0x5A, 0xA0, 0x10}}};
    for (const auto& [pos, bytes] : edits) std::copy(bytes.begin(), bytes.end(), expected.begin() + pos);
    EXPECT_EQ(run.out, expected);
}

TEST(Trelwin, Opl3ToDualOpl2) {
    VgmBuilder b;
    b.clock(0x5C, kOpl3Clock)
        .cmd({0x5E, 0x01, 0x00})   // 0x80: waveform enable added; low register: first OPL2
        .cmd({0x5F, 0x01, 0x00})   // 0x83: port 1 low register: second OPL2, unchanged data
        .cmd({0x5F, 0x20, 0x21})   // 0x86: port 1 channel register: first OPL2
        .cmd({0x5E, 0x20, 0x21})   // 0x89: port 0 channel register: second OPL2
        .cmd({0x5E, 0xE0, 0x05})   // 0x8C: waveform 5
        .cmd({0x5F, 0xF5, 0x03})   // 0x8F: waveform 3 is an OPL2 one
        .cmd({0x5F, 0xC0, 0x21})   // 0x92: port 1 on the right: mismatch
        .cmd({0x5E, 0xC3, 0x11})   // 0x95: port 0 on the left: mismatch
        .cmd({0x5F, 0xC1, 0x11})   // 0x98: fine
        .end();
    const OplRun run = run_mode("-3d2", b, "song_opl2.vgm");
    EXPECT_EQ(run.r.out, kHead +
                             "Warning! Waveform 05 used at 0x00008C!\n"
                             "Warning! Stereo mismatch at 0x000092!\n"
                             "Warning! Stereo mismatch at 0x000095!\n" +
                             kTail);
    ASSERT_EQ(run.out.size(), run.in.size());
    EXPECT_EQ(le32(run.out, 0x50), 0xC0369E99u);
    EXPECT_EQ(le32(run.out, 0x5C), 0u);
    const ByteVec stream(run.out.begin() + 0x80, run.out.end());
    EXPECT_EQ(stream, (ByteVec{0x5A, 0x01, 0x20, 0xAA, 0x01, 0x00, 0x5A, 0x20, 0x21, 0xAA, 0x20, 0x21, 0xAA,
                               0xE0, 0x05, 0x5A, 0xF5, 0x03, 0x5A, 0xC0, 0x21, 0xAA, 0xC3, 0x11, 0x5A, 0xC1,
                               0x11, 0x66}));
}

TEST(Trelwin, DualOpl2ToOpl3) {
    VgmBuilder b;
    b.clock(0x50, 0xC0369E99)
        .cmd({0x5A, 0xC3, 0x01})
        .cmd({0xAA, 0xC3, 0x01})
        .cmd({0x5A, 0xB0, 0x2A})
        .cmd({0xAA, 0xB0, 0x2A})
        .cmd({0xAA, 0x08, 0x40})
        .cmd({0x5A, 0x08, 0x40})
        .cmd({0xAA, 0x05, 0x00})
        .cmd({0x5E, 0x05, 0x00})   // OPL3 writes pass
        .end();
    const OplRun run = run_mode("-d23", b, "song_opl3.vgm");
    EXPECT_EQ(run.r.out, kHead + kTail);
    ASSERT_EQ(run.out.size(), run.in.size());
    EXPECT_EQ(le32(run.out, 0x50), 0u);
    EXPECT_EQ(le32(run.out, 0x5C), kOpl3Clock);
    const ByteVec stream(run.out.begin() + 0x80, run.out.end());
    EXPECT_EQ(stream, (ByteVec{0x5F, 0xC3, 0x11, 0x5E, 0xC3, 0x21, 0x5F, 0xB0, 0x2A, 0x5E, 0xB0, 0x2A, 0x5E,
                               0x08, 0x40, 0x5E, 0x08, 0x40, 0x5F, 0x05, 0x01, 0x5E, 0x05, 0x00, 0x66}));
}

TEST(Trelwin, DualToSingleCompactsAndRelocates) {
    VgmBuilder b;
    b.clock(0x50, kDual | 3579545)
        .cmd({0x5A, 0x20, 0x01})   // 0x80
        .cmd({0xAA, 0x20, 0x01})   // 0x83: same as the first chip's: dropped silently
        .loop_here()
        .cmd({0xAA, 0x20, 0x02})   // 0x86: the loop point, dropped with a warning
        .cmd({0x61, 0x10, 0x00})   // 0x89 -> 0x83
        .cmd({0x02})               // 0x8C: unknown, copied
        .cmd({0x5A, 0xB0, 0x11})   // 0x8D
        .cmd({0xAA, 0xB0, 0x12})   // 0x90: dropped
        .end()                     // 0x93
        .cmd({0xAA, 0x00, 0x00})   // behind the end: moved with the tail
        .gd3({"Title"});
    b.total_samples(16).loop_samples(16);
    const OplRun run = run_mode("-d22", b, "song_opl2.vgm");
    EXPECT_EQ(run.r.out, kHead +
                             "Warning at Pos 0x0086: different OPL writes (2001 != 2002)\n"
                             "Unknown Command: 2\n"
                             "Warning at Pos 0x0090: different OPL writes (B011 != B012)\n" +
                             kTail);
    const ByteVec tag = gd3_block_ascii({"Title"});
    ByteVec expected(run.in.begin(), run.in.begin() + 0x80);
    const ByteVec stream = {0x5A, 0x20, 0x01, 0x61, 0x10, 0x00, 0x02, 0x5A, 0xB0, 0x11, 0x66, 0xAA, 0x00, 0x00};
    expected.insert(expected.end(), stream.begin(), stream.end());
    expected.insert(expected.end(), tag.begin(), tag.end());
    put32(expected, 0x04, static_cast<uint32_t>(expected.size() - 4));
    put32(expected, 0x14, 0x80 + 14 - 0x14);
    put32(expected, 0x1C, 0x83 - 0x1C);
    put32(expected, 0x50, 3579545);
    EXPECT_EQ(run.out, expected);
    EXPECT_EQ(run.out.size(), run.in.size() - 9);
}

TEST(Trelwin, DualToSingleLoopOutsideCommandStarts) {
    // A loop point inside a command: the output gets no loop. One behind the
    // end command moves with the tail.
    for (bool inside : {true, false}) {
        VgmBuilder b;
        b.clock(0x50, kDual | 3579545).cmd({0xAA, 0x20, 0x01}).cmd({0x61, 0x10, 0x00}).end();
        b.total_samples(16).loop_samples(16);
        ByteVec in = b.build();
        put32(in, 0x1C, (inside ? 0x84 : 0x87) - 0x1C);
        in.insert(in.end(), {0x62, 0x66});  // bytes behind the end command
        put32(in, 0x04, static_cast<uint32_t>(in.size() - 4));
        TempDir dir;
        dir.write("song.vgm", in);
        const RunResult r = run_tool("trelwin", {"-d22", "song.vgm"}, dir.path());
        EXPECT_EQ(r.exit_code, 0);
        const ByteVec out = dir.read("song_opl2.vgm");
        ASSERT_EQ(out.size(), in.size() - 3);
        EXPECT_EQ(le32(out, 0x1C), inside ? 0u : 0x84u - 0x1C);
        EXPECT_EQ(le32(out, 0x20), 16u);  // loop samples are never rewritten
        EXPECT_EQ(le32(out, 0x14), 0u);
        EXPECT_EQ(le32(out, 0x04), out.size() - 4);
    }
}

TEST(Trelwin, ClockFieldInsideTheStreamIsNotOverwritten) {
    // Data from 0x58: the OPL3 clock field at 0x5C would be a command.
    VgmBuilder b(0x151, 0x58);
    b.clock(0x50, kPanned | 3579545).cmd({0x5A, 0x20, 0x01, 0x5A, 0x20, 0x01}).end();
    const OplRun run = run_mode("-d23", b, "song_opl3.vgm");
    EXPECT_EQ(run.r.out, kHead + "Sorry, but the header has no room for the new clocks!\n");
    EXPECT_EQ(run.files, std::vector<std::string>{"song.vgm"});
}

TEST(Trelwin, WriteFailureLeavesNothing) {
    VgmBuilder b;
    b.clock(0x5C, kOpl3Clock).end();
    TempDir dir;
    dir.write("song.vgm", b.build());
    const RunResult r = run_tool("trelwin", {"-32", "song.vgm", "no/such/dir.vgm"}, dir.path());
    EXPECT_NE(r.exit_code, 0);
    EXPECT_EQ(r.out, kHead + "\t\t\t\t\t\t\t\t\rError writing no/such/dir.vgm!\n");
    EXPECT_EQ(dir.list(), std::vector<std::string>{"song.vgm"});
}

TEST(Trelwin, CorpusFiles) {
    const std::string corpus = corpus_dir();
    if (corpus.empty()) GTEST_SKIP() << "no corpus";
    struct Case {
        std::string mode, file;
    };
    for (const Case& c : std::vector<Case>{{"-d22", "MainBGM5.vgm"}, {"-3d2", "BeyondSN.vgm"},
                                           {"-32", "BeyondSN.vgm"}, {"-32", "Restart.vgz"}}) {
        TempDir dir;
        const RunResult r = run_tool("trelwin", {c.mode, corpus + "/vgm-opl/" + c.file, "out.vgm"}, dir.path());
        EXPECT_EQ(r.exit_code, 0) << c.file;
        EXPECT_EQ(r.out.substr(r.out.size() - kTail.size()), kTail) << c.file;
        const ByteVec out = dir.read("out.vgm");
        ASSERT_GT(out.size(), 0x80u) << c.file;
        EXPECT_EQ(le32(out, 0x04) + 4, out.size()) << c.file;
        const uint32_t gd3 = le32(out, 0x14) + 0x14;
        ASSERT_LT(gd3 + 4, out.size()) << c.file;
        EXPECT_EQ(std::string(out.begin() + gd3, out.begin() + gd3 + 4), "Gd3 ") << c.file;
        EXPECT_EQ(le32(out, 0x5C), 0u) << c.file;
    }
    // Dual OPL2 -> single: 0xAA writes gone, the loop still on a command.
    TempDir dir;
    run_tool("trelwin", {"-d22", corpus + "/vgm-opl/MainBGM5.vgm", "out.vgm"}, dir.path());
    const ByteVec out = dir.read("out.vgm");
    EXPECT_EQ(out.size(), 11098u);
    EXPECT_EQ(le32(out, 0x1C) + 0x1C, 0x3E9u);
}
