// End-to-end runs of ulvane on small files built byte by byte.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>

#include "tool_runner.h"
#include "vgm_builder.h"

using namespace testvgm;

namespace {

constexpr size_t kData = 0x80;  // data start of the fixtures
const std::string kHead = banner("ulvane", false) + "File Name:\tsong.vgm\n\n";
const std::string kTail = "\t\t\t\t\t\t\t\t\rFile written.\n";

struct MonoRun {
    RunResult r;
    ByteVec in;
    ByteVec out;
};

MonoRun run_on(const VgmBuilder& b) {
    TempDir dir;
    MonoRun run;
    run.in = b.build();
    dir.write("song.vgm", run.in);
    run.r = run_tool("ulvane", {"song.vgm"}, dir.path());
    run.out = dir.read("song_mono.vgm");
    return run;
}

// The input with the bytes at the given absolute positions replaced.
ByteVec patched(ByteVec v, std::initializer_list<std::pair<size_t, uint8_t>> edits) {
    for (auto [pos, val] : edits) v[pos] = val;
    return v;
}

}  // namespace

TEST(Ulvane, Ym2612PanWritesAndKeyOnWarnings) {
    VgmBuilder b;
    b.clock(0x2C, 7670453)
        .cmd({0x52, 0xB4, 0x80})   // 0x80: left only -> both
        .cmd({0x53, 0xB5, 0x40})   // 0x83: right only, port 1 -> both
        .cmd({0x52, 0xB6, 0xC0})   // 0x86: both sides already: remembered
        .cmd({0x52, 0xB5, 0x3F})   // 0x89: both off stays
        .cmd({0x52, 0x28, 0xF2})   // 0x8C: key on channel 2: warning
        .cmd({0x52, 0x28, 0xF2})   // 0x8F: reported once only
        .cmd({0x53, 0xB6, 0xD5})   // 0x92: port 1 channel 2 -> entry 5
        .cmd({0x52, 0x28, 0x0E})   // 0x95: data below 0x10 is a key-off
        .cmd({0x52, 0x28, 0x16})   // 0x98: key on entry (2) + 3 = 5
        .cmd({0x52, 0xB4, 0x5A})   // 0x9B: keeps its other bits
        .end();
    const MonoRun run = run_on(b);
    EXPECT_EQ(run.r.exit_code, 0);
    EXPECT_EQ(run.r.out, kHead +
                             "Warning: Stereo on both channels! Pos: 000086 (Key Cmd: 00008C)\n"
                             "Warning: Stereo on both channels! Pos: 000092 (Key Cmd: 000098)\n" +
                             kTail);
    EXPECT_EQ(run.out, patched(run.in, {{0x82, 0xC0}, {0x85, 0xC0}, {0x9D, 0xDA}}));
}

TEST(Ulvane, Ym2151AndYm2610) {
    VgmBuilder b;
    b.clock(0x30, 3579545)
        .clock(0x4C, 8000000)
        .cmd({0x54, 0x27, 0x47})   // 0x80: YM2151 channel 7, one side -> 0xC7
        .cmd({0x54, 0x23, 0xC1})   // 0x83: channel 3 both
        .cmd({0x54, 0x08, 0x03})   // 0x86: no operator bits: not a key-on
        .cmd({0x54, 0x08, 0x7B})   // 0x89: key on channel 3
        .cmd({0x58, 0x11, 0xC0})   // 0x8C: ADPCM-B pan both (entry 12)
        .cmd({0x58, 0x10, 0x80})   // 0x8F: ADPCM-B start
        .cmd({0x59, 0x08, 0x9F})   // 0x92: ADPCM-A channel 0 pan, one side -> 0xDF
        .cmd({0x59, 0x09, 0xC0})   // 0x95: ADPCM-A channel 1 both (entry 7)
        .cmd({0x59, 0x0D, 0xC0})   // 0x98: ADPCM-A channel 5 both (entry 11)
        .cmd({0x59, 0x00, 0xA2})   // 0x9B: bit 7 set: a dump, not a key-on
        .cmd({0x59, 0x00, 0x22})   // 0x9E: key on channels 1 and 5
        .cmd({0x58, 0xB5, 0x80})   // 0xA1: FM channel 1 -> 0xC0
        .end();
    const MonoRun run = run_on(b);
    EXPECT_EQ(run.r.exit_code, 0);
    EXPECT_EQ(run.r.out, kHead +
                             "Warning: Stereo on both channels! Pos: 000083 (Key Cmd: 000089)\n"
                             "Warning: Stereo on both channels! Pos: 00008C (Key Cmd: 00008F)\n"
                             "Warning: Stereo on both channels! Pos: 000095 (Key Cmd: 00009E)\n"
                             "Warning: Stereo on both channels! Pos: 000098 (Key Cmd: 00009E)\n" +
                             kTail);
    EXPECT_EQ(run.out, patched(run.in, {{0x82, 0xC7}, {0x94, 0xDF}, {0xA3, 0xC0}}));
}

TEST(Ulvane, SecondInstancesOnlyWithTheDualBit) {
    for (bool dual : {false, true}) {
        VgmBuilder b;
        b.clock(0x2C, 7670453 | (dual ? 0x40000000u : 0)).clock(0x30, 3579545 | (dual ? 0x40000000u : 0));
        b.cmd({0xA2, 0xB4, 0x80}).cmd({0xA3, 0xB4, 0x40}).cmd({0xA4, 0x20, 0x40}).end();
        const MonoRun run = run_on(b);
        EXPECT_EQ(run.r.out, kHead + kTail);
        EXPECT_EQ(run.out, dual ? patched(run.in, {{0x82, 0xC0}, {0x85, 0xC0}, {0x88, 0xC0}}) : run.in) << dual;
    }
}

TEST(Ulvane, PcmChips) {
    VgmBuilder b;
    b.clock(0x40, 12500000)
        .clock(0x88, 8053975)
        .clock(0x60, 33868800)
        .cmd({0xB0, 0x01, 0xF0})        // 0x80: RF5C68 one side -> 0xBB
        .cmd({0xB0, 0x01, 0x0F})        // 0x83: -> 0xBB
        .cmd({0xB0, 0x01, 0xFF})        // 0x86: kept, reported at once
        .cmd({0xB0, 0x02, 0xF0})        // 0x89: another register
        .cmd({0xB5, 0x02, 0x00})        // 0x8C: MultiPCM: select register 0
        .cmd({0xB5, 0x00, 0x37})        // 0x8F: pan -> 0x07
        .cmd({0xB5, 0x80, 0x85})        // 0x92: high nibble 8 stays
        .cmd({0xB5, 0x82, 0x05})        // 0x95: select register 5 (second chip's port)
        .cmd({0xB5, 0x00, 0x37})        // 0x98: not the pan now
        .cmd({0xC3, 0x00, 0x00, 0x00})  // 0x9B: bank 0 before any other: stays
        .cmd({0xC3, 0x01, 0x34, 0x12})  // 0x9F: bank 0x1234
        .cmd({0xC3, 0x02, 0x00, 0x00})  // 0xA3: 0 -> 0x1234
        .cmd({0xD0, 0x02, 0x68, 0x38})  // 0xA7: YMF278B pan 8 stays
        .cmd({0xD0, 0x02, 0x70, 0x53})  // 0xAB: pan 3 cleared with a warning
        .cmd({0xD0, 0x02, 0x7F, 0x57})  // 0xAF: pan 7 cleared silently
        .cmd({0xD0, 0x02, 0x69, 0x29})  // 0xB3: pan 9 cleared silently
        .cmd({0xD0, 0x01, 0x70, 0x53})  // 0xB7: FM port: left
        .cmd({0xD0, 0x80, 0x70, 0x53})  // 0xBB: second chip's FM port: left
        .cmd({0xD0, 0x82, 0x70, 0x54})  // 0xBF: second chip's PCM port
        .cmd({0xD0, 0x02, 0x67, 0x53})  // 0xC3: below the pan registers
        .end();
    const MonoRun run = run_on(b);
    EXPECT_EQ(run.r.exit_code, 0);
    EXPECT_EQ(run.r.out, kHead +
                             "Warning: Stereo on both channels! Pos: 000086 (Key Cmd: 000086)\n"
                             "Warning: Non-Full Panning! Pos: 0000AB\n"
                             "Warning: Non-Full Panning! Pos: 0000BF\n" +
                             kTail);
    EXPECT_EQ(run.out, patched(run.in, {{0x82, 0xBB}, {0x85, 0xBB}, {0x91, 0x07}, {0xA5, 0x34}, {0xA6, 0x12},
                                        {0xAE, 0x50}, {0xB2, 0x50}, {0xB6, 0x20}, {0xC2, 0x50}}));
}

TEST(Ulvane, X1010VolumesAndTheLaterKeyOn) {
    VgmBuilder b;
    b.cmd({0xC8, 0x00, 0x09, 0x3A})   // 0x80: channel 1 volume before its key-on: waits
        .cmd({0xC8, 0x00, 0x11, 0x5C})  // 0x84: channel 2 volume, waits too
        .cmd({0xC8, 0x00, 0x08, 0x01})  // 0x88: channel 1 PCM key-on: fixes 0x83
        .cmd({0xC8, 0x00, 0x09, 0x71})  // 0x8C: channel 1 is PCM now: at once
        .cmd({0xC8, 0x00, 0x10, 0x03})  // 0x90: channel 2 waveform mode: no fix
        .cmd({0xC8, 0x00, 0x11, 0x1E})  // 0x94: control bit 0 set, not PCM: nothing
        .cmd({0xC8, 0x01, 0x00, 0x2D})  // 0x98: envelope memory: -> 0xDD
        .cmd({0xC8, 0x10, 0x00, 0x2D})  // 0x9C: wave memory above 0x0FFF: nothing
        .cmd({0xC8, 0x00, 0x0A, 0x2D})  // 0xA0: another register
        .end();
    const MonoRun run = run_on(b);
    EXPECT_EQ(run.r.out, kHead + kTail);
    EXPECT_EQ(run.out, patched(run.in, {{0x83, 0xAA}, {0x8F, 0x77}, {0x9B, 0xDD}}));
}

TEST(Ulvane, WalkLengthsUnknownBytesAndEnd) {
    VgmBuilder b;
    b.clock(0x2C, 7670453)
        .cmd({0x40, 0x52})              // 0x80: reserved, two bytes long here
        .cmd({0x52, 0xB4, 0x40})        // 0x82: so this is a pan write
        .cmd({0x02})                    // 0x85: unknown, one byte
        .cmd({0x67, 0x66, 0x00, 0x03, 0, 0, 0, 0x52, 0xB4, 0x80})  // 0x86: a block holding pan-like bytes
        .cmd({0x52, 0xB4, 0x40})        // 0x90: edited
        .end()
        .cmd({0x52, 0xB4, 0x40});       // behind the end: left
    const MonoRun run = run_on(b);
    EXPECT_EQ(run.r.out, kHead + "Unknown Command: 2\n" + kTail);
    EXPECT_EQ(run.out, patched(run.in, {{0x84, 0xC0}, {0x92, 0xC0}}));
}

TEST(Ulvane, CompressedInputAndOutputNames) {
    VgmBuilder b;
    b.gd3({"Title"}).cmd({0x61, 0x10, 0x00}).end();
    const ByteVec plain = b.build();
    TempDir dir;
    dir.write("song.vgz", gzip(plain));
    RunResult r = run_tool("ulvane", {"song.vgz"}, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, banner("ulvane", false) + "File Name:\tsong.vgz\n\n" + kTail);
    EXPECT_EQ(dir.read("song_mono.vgm"), plain);  // uncompressed, byte for byte

    r = run_tool("ulvane", {"song.vgz", "other.vgm"}, dir.path());
    EXPECT_EQ(dir.read("other.vgm"), plain);
    r = run_tool("ulvane", {"song.vgz", ""}, dir.path());  // empty: the default name
    EXPECT_EQ(r.exit_code, 0);

    // The name typed at the prompt, and an empty one.
    r = run_tool("ulvane", {}, dir.path(), "'song.vgz'\n");
    EXPECT_EQ(r.out, banner("ulvane", false) + "File Name:\t\n" + kTail);
    r = run_tool("ulvane", {}, dir.path(), "\n");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, banner("ulvane", false) + "File Name:\t");
}

TEST(Ulvane, LoadAndWriteFailures) {
    TempDir dir;
    dir.write("bad.vgm", {'V', 'g', 'x', ' ', 0, 0, 0, 0});
    RunResult r = run_tool("ulvane", {"bad.vgm"}, dir.path());
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, banner("ulvane", false) + "File Name:\tbad.vgm\nError opening the file!\n");

    VgmBuilder b;
    b.end();
    dir.write("song.vgm", b.build());
    r = run_tool("ulvane", {"song.vgm", "missing/out.vgm"}, dir.path());
    EXPECT_NE(r.exit_code, 0);
    EXPECT_EQ(r.out, kHead + "\t\t\t\t\t\t\t\t\rError writing missing/out.vgm!\n");
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"bad.vgm", "song.vgm"}));
}

TEST(Ulvane, CorpusFilesKeepTheirLength) {
    const std::string corpus = corpus_dir();
    if (corpus.empty()) GTEST_SKIP() << "no corpus";
    for (const char* name : {"test.vgz", "sonic1.vgm", "toy_story.vgm", "victory.vgm", "fatality.vgm",
                             "5ALF.VGM", "wb_psg2.vgz", "mm_ff_03.vgm", "1Antarctic.vgm"}) {
        TempDir dir;
        const std::string src = corpus + "/vgm-sega/" + name;
        const RunResult r = run_tool("ulvane", {src, dir.file("out.vgm")}, dir.path());
        EXPECT_EQ(r.exit_code, 0) << name;
        EXPECT_NE(r.out.find("File written.\n"), std::string::npos) << name;
        const ByteVec out = dir.read("out.vgm");
        ASSERT_GE(out.size(), 0x40u) << name;
        // The header is written as stored: the EOF offset still describes the file.
        const uint32_t eof = out[4] | (out[5] << 8) | (out[6] << 16) | (uint32_t(out[7]) << 24);
        EXPECT_EQ(eof + 4, out.size()) << name;
    }
}
