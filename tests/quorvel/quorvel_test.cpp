// End-to-end tests of the command counter: fixture files built byte by byte,
// run through the real executable, stdout compared exactly.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>

#include "tool_runner.h"
#include "vgm_builder.h"

using namespace testvgm;

namespace {

const std::string kPrefixFor(const std::string& name) { return banner("quorvel") + "File Name:\t" + name + "\n\n"; }

// Runs quorvel on the file and returns the report lines (after the banner,
// the name and the empty line of loading).
std::string report(const ByteVec& file, const std::string& name = "t.vgm", const std::string& subdir = "") {
    TempDir dir;
    if (!subdir.empty()) {
        EXPECT_EQ(::mkdir(dir.file(subdir).c_str(), 0755), 0);
    }
    dir.write(name, file);
    const RunResult r = run_tool("quorvel", {name}, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    const std::string prefix = kPrefixFor(name);
    EXPECT_EQ(r.out.substr(0, prefix.size()), prefix);
    return r.out.size() >= prefix.size() ? r.out.substr(prefix.size()) : r.out;
}

struct ReportCase {
    const char* what;
    std::function<void(VgmBuilder&)> build;
    std::string expected;
    uint32_t version = 0x151;
};

void run_cases(const std::vector<ReportCase>& cases) {
    for (const auto& c : cases) {
        VgmBuilder b(c.version, c.version >= 0x150 ? 0x100 : 0x40);
        c.build(b);
        b.end();
        EXPECT_EQ(report(b.build()), c.expected) << c.what;
    }
}

}  // namespace

TEST(Quorvel, AttributionAndReportForms) {
    run_cases({
        {"clock without commands: plural zero forms",
         [](VgmBuilder& b) { b.clock(0x2C, 7670453); },
         "YM2612 #0: 0 Commands, 0 Notes\n"},
        {"commands for a chip without clock",
         [](VgmBuilder& b) { b.cmd({0x52, 0x22, 0x00}); },
         "YM2612 #0: !! Clock is Zero !!, 1 Command, 0 Notes\n"},
        {"second-instance command without the dual bit is not counted",
         [](VgmBuilder& b) { b.clock(0x2C, 7670453).cmd({0xA2, 0x28, 0xF0}); },
         "YM2612 #0: 0 Commands, 0 Notes\n"},
        {"second-instance command with the dual bit",
         [](VgmBuilder& b) { b.clock(0x2C, 7670453 | 0x40000000).cmd({0xA2, 0x28, 0xF0}).cmd({0xA3, 0x30, 0x01}); },
         "YM2612 #0: 0 Commands, 0 Notes\nYM2612 #1: 2 Commands, 1 Note\n"},
        {"AY8910 selects its instance by bit 7 of the register",
         [](VgmBuilder& b) { b.clock(0x74, 1789772).cmd({0xA0, 0x88, 0x0F}).cmd({0xA0, 0x08, 0x0F}); },
         "AY8910 #0: 1 Command, 1 Note\nAY8910 #1: !! Clock is Zero !!, 1 Command, 1 Note\n"},
        {"FDS companion follows the NES APU line",
         [](VgmBuilder& b) {
             b.clock(0x84, 1789772 | 0x80000000).cmd({0xB4, 0x15, 0x1F}).cmd({0xB4, 0x23, 0x00}).cmd({0xB4, 0x23, 0x80})
                 .cmd({0xB4, 0x23, 0x00});
         },
         "NES APU #0: 1 Command, 5 Notes\nFDS #0: 3 Commands, 2 Notes\n"},
        {"FDS writes without the variant bit",
         [](VgmBuilder& b) { b.clock(0x84, 1789772).cmd({0xB4, 0x23, 0x00}); },
         "NES APU #0: 0 Commands, 0 Notes\nFDS #0: !! Clock is Zero !!, 1 Command, 1 Note\n"},
        {"YMF278B PCM and FM lines; a port byte with bit 7 takes no note rule",
         [](VgmBuilder& b) {
             b.clock(0x60, 33868800).cmd({0xD0, 0x00, 0xB0, 0x20}).cmd({0xD0, 0x01, 0xB0, 0x20}).cmd({0xD0, 0x02, 0x68, 0x80})
                 .cmd({0xD0, 0x82, 0x68, 0x80}).cmd({0xD0, 0x80, 0xB1, 0x20});
         },
         "YMF278B PCM #0: 4 Commands, 2 Notes\nYMF278B FM #0: !! Clock is Zero !!, 1 Command, 1 Note\n"},
        {"data blocks count for the chip of their type and instance",
         [](VgmBuilder& b) {
             b.clock(0x40, 12500000).data_block(0x41, {1, 2, 3}).data_block(0x01, {1}, true).data_block(0x80, {1})
                 .data_block(0x3F, {1});
         },
         "SegaPCM #0: !! Clock is Zero !!, 1 Command, 0 Notes\nRF5C68 #0: 1 Command, 0 Notes\n"
         "RF5C68 #1: !! Clock is Zero !!, 1 Command, 0 Notes\n"},
        {"PCM RAM writes count for RF5C68 and RF5C164 only",
         [](VgmBuilder& b) {
             b.clock(0x40, 12500000).cmd({0x68, 0x66, 0x01, 0, 0, 0, 0, 0, 0, 1, 0, 0})
                 .cmd({0x68, 0x66, 0x06, 0, 0, 0, 0, 0, 0, 1, 0, 0});
         },
         "RF5C68 #0: 1 Command, 0 Notes\n"},
        {"bytes without length are skipped, 0x40-0x4E take three bytes, uncounted commands",
         [](VgmBuilder& b) {
             b.clock(0x0C, 3579545).cmd({0x96, 0x00, 0x45, 0x50, 0x50, 0x30, 0x90}).cmd({0xC1, 0, 0, 0})
                 .cmd({0xE0, 0, 0, 0, 0}).cmd({0x90, 0, 0, 0, 0}).wait(100).cmd({0x62, 0x80, 0x7F});
         },
         "SN76496 #0: 0 Commands, 0 Notes\n"},
        {"MultiPCM notes are not counted",
         [](VgmBuilder& b) { b.clock(0x88, 8000000).cmd({0xB5, 0x01, 0x02}).cmd({0xC3, 0x80, 0x00, 0x00}); },
         "MultiPCM #0: 1 Command, - Notes\nMultiPCM #1: !! Clock is Zero !!, 1 Command, - Notes\n"},
        {"old version: YM2612 clock cleared, zero-clock mark",
         [](VgmBuilder& b) { b.clock(0x10, 3579545).clock(0x2C, 7670453).cmd({0x52, 0x28, 0xF0}); },
         "YM2413 #0: 0 Commands, 0 Notes\nYM2612 #0: !! Clock is Zero !!, 1 Command, 1 Note\n", 0x101},
        {"companions print after their chip, instance 0 before 1",
         [](VgmBuilder& b) {
             b.clock(0x0C, 3579545 | 0x40000000).clock(0x74, 1789772).cmd({0x30, 0x9F}).cmd({0x50, 0x90});
         },
         "SN76496 #0: 1 Command, 1 Note\nAY8910 #0: 0 Commands, 0 Notes\nSN76496 #1: 1 Command, 0 Notes\n"},
    });
}

TEST(Quorvel, NoteRules) {
    auto opl = [](uint8_t op, std::initializer_list<std::pair<uint8_t, uint8_t>> writes) {
        return [op, writes](VgmBuilder& b) {
            for (auto [r, d] : writes) b.cmd({op, r, d});
        };
    };
    run_cases({
        {"YM2612 key on, repeat, key off",
         [&](VgmBuilder& b) { b.clock(0x2C, 7670453); opl(0x52, {{0x28, 0xF0}, {0x28, 0xF0}, {0x28, 0x00}, {0x28, 0xF0}})(b); },
         "YM2612 #0: 4 Commands, 2 Notes\n"},
        {"YM2612 0xF4 is the fourth channel",
         [&](VgmBuilder& b) { b.clock(0x2C, 7670453); opl(0x52, {{0x28, 0xF4}, {0x28, 0xF0}})(b); },
         "YM2612 #0: 2 Commands, 2 Notes\n"},
        {"YM2203 ignores bit 2 of the slot",
         [&](VgmBuilder& b) { b.clock(0x44, 3000000); opl(0x55, {{0x28, 0xF4}, {0x28, 0xF0}})(b); },
         "YM2203 #0: 2 Commands, 1 Note\n"},
        {"YM2203 mixer and volume share key bits",
         [&](VgmBuilder& b) {
             b.clock(0x44, 3000000);
             opl(0x55, {{0x07, 0x38}, {0x08, 0x0F}, {0x08, 0x00}, {0x08, 0x0F}})(b);
         },
         "YM2203 #0: 4 Commands, 1 Note\n"},
        {"YM3812 rhythm",
         [&](VgmBuilder& b) { b.clock(0x50, 3579545); opl(0x5A, {{0xBD, 0x30}, {0xBD, 0x21}, {0xBD, 0x00}, {0xBD, 0x30}})(b); },
         "YM3812 #0: 4 Commands, 3 Notes\n"},
        {"YMF262 port 1 channel shares the rhythm key bit",
         [&](VgmBuilder& b) { b.clock(0x5C, 14318180); opl(0x5F, {{0xB3, 0x20}})(b); opl(0x5E, {{0xBD, 0x28}})(b); },
         "YMF262 #0: 2 Commands, 1 Note\n"},
        {"YM2413 key and rhythm",
         [&](VgmBuilder& b) { b.clock(0x10, 3579545); opl(0x51, {{0x20, 0x10}, {0x25, 0x10}, {0x20, 0x10}, {0x0E, 0x3F}})(b); },
         "YM2413 #0: 4 Commands, 7 Notes\n"},
        {"YM2151 key on",
         [&](VgmBuilder& b) { b.clock(0x30, 3579545); opl(0x54, {{0x08, 0x78}, {0x08, 0x79}, {0x08, 0x00}, {0x08, 0x08}})(b); },
         "YM2151 #0: 4 Commands, 3 Notes\n"},
        {"SN76496 volume latches",
         [](VgmBuilder& b) { b.clock(0x0C, 3579545).cmd({0x50, 0x90, 0x50, 0x90, 0x50, 0x9F, 0x50, 0xB0, 0x50, 0x80}); },
         "SN76496 #0: 5 Commands, 2 Notes\n"},
        {"GameBoy counts every key-on",
         [](VgmBuilder& b) { b.clock(0x80, 4194304).cmd({0xB3, 0x04, 0x80, 0xB3, 0x04, 0x80, 0xB3, 0x09, 0x00}); },
         "GameBoy #0: 3 Commands, 2 Notes\n"},
        {"OKIM6295 phrase commands",
         [](VgmBuilder& b) {
             b.clock(0x98, 1000000);
             for (uint8_t d : {0x81, 0x10, 0x08, 0x81, 0x10, 0x81, 0x10}) b.cmd({0xB8, 0x00, d});
         },
         "OKIM6295 #0: 7 Commands, 2 Notes\n"},
        {"PWM counts one note",
         [](VgmBuilder& b) { b.clock(0x70, 23011361).cmd({0xB2, 0x00, 0x01, 0xB2, 0x10, 0x01, 0xB2, 0x20, 0x01}); },
         "PWM #0: 3 Commands, 1 Note\n"},
        {"YMF271 one key bit for the chip",
         [](VgmBuilder& b) {
             b.clock(0x64, 16934400).cmd({0xD1, 0x00, 0x00, 0x01}).cmd({0xD1, 0x01, 0x02, 0x01}).cmd({0xD1, 0x01, 0x02, 0x00})
                 .cmd({0xD1, 0x03, 0x0F, 0x01}).cmd({0xD1, 0x04, 0x00, 0x00}).cmd({0xD1, 0x04, 0x00, 0x01});
         },
         "YMF271 #0: 6 Commands, 2 Notes\n"},
        {"HuC6280 latch selects the channel",
         [](VgmBuilder& b) {
             b.clock(0xA4, 3579545);
             for (auto [r, d] : std::vector<std::pair<uint8_t, uint8_t>>{{0, 1}, {5, 0x80}, {0, 2}, {5, 0x80}, {0, 1}, {5, 0x80}})
                 b.cmd({0xB9, r, d});
         },
         "HuC6280 #0: 6 Commands, 2 Notes\n"},
        {"SegaPCM, RF5C68, C140, K053260, Pokey, QSound, YMZ280B, Y8950",
         [](VgmBuilder& b) {
             b.clock(0x38, 4000000).clock(0x40, 12500000).clock(0xA8, 21390).clock(0xAC, 3579545).clock(0xB0, 1789772)
                 .clock(0xB4, 4000000).clock(0x68, 16934400).clock(0x58, 3579545);
             b.cmd({0xC0, 0x86, 0x00, 0x00}).cmd({0xC0, 0x8E, 0x00, 0x01});  // SegaPCM: channel 0 on, channel 1 off
             b.cmd({0xB0, 0x08, 0xFC});                                       // RF5C68: channels 0 and 1
             b.cmd({0xD4, 0x01, 0x05, 0x80}).cmd({0xD4, 0x01, 0x85, 0x80});  // C140: 0x105 on; 0x185 out of range
             b.cmd({0xBA, 0x28, 0x05});                                       // K053260: channels 0 and 2
             b.cmd({0xBB, 0x01, 0x00}).cmd({0xBB, 0x02, 0x00});              // Pokey: 0x01 only
             b.cmd({0xC4, 0x00, 0x01, 0x06}).cmd({0xC4, 0x00, 0x00, 0x02}).cmd({0xC4, 0x00, 0x01, 0x06});  // QSound
             b.cmd({0x5D, 0x01, 0x80}).cmd({0x5D, 0x05, 0x80});              // YMZ280B: two voices
             b.cmd({0x5C, 0x07, 0x80});                                       // Y8950 ADPCM
         },
         "SegaPCM #0: 2 Commands, 1 Note\nRF5C68 #0: 1 Command, 2 Notes\nY8950 #0: 1 Command, 1 Note\n"
         "YMZ280B #0: 2 Commands, 2 Notes\nC140 #0: 2 Commands, 1 Note\nK053260 #0: 1 Command, 2 Notes\n"
         "Pokey #0: 2 Commands, 1 Note\nQSound #0: 3 Commands, 2 Notes\n"},
    });
}

TEST(Quorvel, GzipAndPrompt) {
    VgmBuilder b;
    b.clock(0x2C, 7670453).cmd({0x52, 0x28, 0xF0}).end();
    TempDir dir;
    dir.write("my song.vgz", gzip(b.build()));
    const std::string lines = "YM2612 #0: 1 Command, 1 Note\n";

    RunResult r = run_tool("quorvel", {}, dir.path(), "'my song.vgz'\n");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, banner("quorvel") + "File Name:\t\n" + lines);

    r = run_tool("quorvel", {}, dir.path(), "\n");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, banner("quorvel") + "File Name:\t");
    r = run_tool("quorvel", {}, dir.path(), "");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, banner("quorvel") + "File Name:\t");
}

TEST(Quorvel, LoadFailures) {
    TempDir dir;
    dir.write("bad.vgm", ByteVec{'V', 'G', 'M', ' ', 0, 0, 0, 0});
    dir.write("empty.vgm", ByteVec{});
    for (const char* name : {"missing.vgm", "bad.vgm", "empty.vgm"}) {
        const RunResult r = run_tool("quorvel", {name}, dir.path());
        EXPECT_EQ(r.exit_code, 1) << name;
        EXPECT_EQ(r.out, banner("quorvel") + "File Name:\t" + name + "\nError opening the file!\n") << name;
    }
}

// Damaged files: whatever the header claims, the run ends normally and
// counts only commands that lie wholly inside the real file.
TEST(Quorvel, DamagedFiles) {
    VgmBuilder b(0x151, 0x100);
    b.clock(0x2C, 7670453).cmd({0x52, 0x28, 0xF0}).cmd({0x52, 0x28, 0x00}).end();
    const ByteVec good = b.build();
    const size_t first = 0x100;

    auto patched = [&](size_t off, uint32_t v) {
        ByteVec f = good;
        for (int i = 0; i < 4; ++i) f[off + i] = static_cast<uint8_t>(v >> (8 * i));
        return f;
    };
    ByteVec cut = good;
    cut.resize(first + 4);  // second write cut after one operand; EOF still claims more
    ByteVec block = good;
    block.resize(first + 3);
    for (uint8_t v : {0x67, 0x66, 0x00, 0xF0, 0xFF, 0xFF, 0x7F, 0x01}) block.push_back(v);

    const std::vector<std::pair<ByteVec, std::string>> cases = {
        {patched(4, 0xFFFFFFFC), "YM2612 #0: 2 Commands, 1 Note\n"},   // claims 4 GiB
        {patched(4, 0xFFFFFFFF), "YM2612 #0: 2 Commands, 1 Note\n"},   // claimed size wraps in 32 bits
        {cut, "YM2612 #0: 1 Command, 1 Note\n"},
        {patched(0x34, 0x7FFFFFF0), "YM2612 #0: 0 Commands, 0 Notes\n"},  // data start beyond the end
        {patched(4, 0x1C), "YM2612 #0: 0 Commands, 0 Notes\n"},  // EOF before the clocks: header still read whole
        {block, "YM2612 #0: 1 Command, 1 Note\n"},                       // data block runs past the end
        {ByteVec(good.begin(), good.begin() + 0x30), "YM2612 #0: 0 Commands, 0 Notes\n"},  // shorter than its header
        {ByteVec(good.begin(), good.begin() + 0x20), ""},
    };
    for (size_t i = 0; i < cases.size(); ++i) EXPECT_EQ(report(cases[i].first), cases[i].second) << "case " << i;
}

TEST(Quorvel, LongCommandLineName) {
    VgmBuilder b;
    b.clock(0x0C, 3579545).end();
    const std::string sub(200, 'd');
    const std::string name = sub + "/" + std::string(150, 'f') + ".vgm";
    EXPECT_EQ(report(b.build(), name, sub), "SN76496 #0: 0 Commands, 0 Notes\n");
}

// Real files: command counts worked out independently by a walk over the
// stream that tallies command bytes.
TEST(Quorvel, CorpusFiles) {
    const std::string corpus = corpus_dir();
    if (corpus.empty()) GTEST_SKIP() << "no corpus";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"vgm-opl/YsBattle.vgm", "YM3812 #0: 31544 Commands, "},
        {"vgm-sega/sonic1.vgm", "SN76496 #0: 2794 Commands, "},
        {"vgm-sega/wb_psg2.vgz", "SN76496 #1: 8986 Commands, "},
        {"vgm-sega/mm_ff_03.vgm", "AY8910 #0: 1652 Commands, "},
    };
    for (const auto& [file, expected] : cases) {
        const RunResult r = run_tool("quorvel", {corpus + "/" + file}, "/tmp");
        EXPECT_EQ(r.exit_code, 0) << file;
        EXPECT_NE(r.out.find(expected), std::string::npos) << file << "\n" << r.out;
    }
    const RunResult s = run_tool("quorvel", {corpus + "/vgm-sega/sonic1.vgm"}, "/tmp");
    EXPECT_NE(s.out.find("YM2612 #0: 6703 Commands, "), std::string::npos) << s.out;
}
