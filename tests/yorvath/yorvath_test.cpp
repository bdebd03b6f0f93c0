#include <gtest/gtest.h>

#include <sys/stat.h>

#include "capture_vgm.h"
#include "tool_runner.h"
#include "yorvath.h"

using namespace testvgm;

namespace {

struct Entry {
    uint8_t reg, value;
    uint16_t delay;
};

ByteVec entries(const std::vector<Entry>& list) {
    ByteVec v;
    for (const auto& e : list) v.insert(v.end(), {e.reg, e.value, uint8_t(e.delay), uint8_t(e.delay >> 8)});
    return v;
}
ByteVec type1(uint16_t count, const ByteVec& body) {
    ByteVec v(body.size() + 2);
    v[0] = uint8_t(count);
    v[1] = uint8_t(count >> 8);
    std::copy(body.begin(), body.end(), v.begin() + 2);
    return v;
}

std::string head(const std::string& name) { return banner("yorvath") + "File Name:\t" + name + "\n\n"; }
std::string info(unsigned type, unsigned rate, const char* period) {
    return "IMF Type: " + std::to_string(type) + ", IMF Playback Rate: " + std::to_string(rate) +
           " Hz (8254 PIT period 0x" + period + ")\n";
}

CaptureVgm convert(const ByteVec& imf, int forced_type, uint32_t rate) {
    const auto layout = yorvath::imf_layout(imf, forced_type);
    const auto vgm = yorvath::convert_imf(imf, layout, rate, false);
    const CaptureVgm r = read_capture_vgm(ByteVec(vgm.file().begin(), vgm.file().end()));
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.samples, le32_at(ByteVec(vgm.file().begin(), vgm.file().end()), 0x18));
    return r;
}

}  // namespace

TEST(Yorvath, TimerPeriods) {
    const std::vector<std::pair<uint32_t, uint32_t>> cases = {
        {700, 1702}, {701, 1702}, {560, 2128}, {280, 4257}, {1000, 1193}, {1, 1193181}, {65535, 18}, {702, 1699},
    };
    for (const auto& [rate, period] : cases) EXPECT_EQ(yorvath::timer_period(rate), period) << rate;
}

TEST(Yorvath, SinglePrecisionSamplesWithCarriedFraction) {
    EXPECT_EQ(yorvath::delay_samples(1, 2128), 78.65088653564453f);
    EXPECT_EQ(yorvath::delay_samples(7, 1702), 440.3414306640625f);
    EXPECT_EQ(yorvath::delay_samples(0, 2128), 0.0f);

    std::vector<Entry> six;
    for (uint8_t i = 0; i < 6; ++i) six.push_back({uint8_t(0xA0 + i), i, 1});
    EXPECT_EQ(convert(entries(six), 0, 560).script,
              "5A:01=20 5A:A0=00 w78 5A:A1=01 w79 5A:A2=02 w78 5A:A3=03 w79 5A:A4=04 w79 5A:A5=05 w78");
    // 440.34 each: 440, 440, then the carried fractions make 441.
    EXPECT_EQ(convert(entries({{0xB0, 1, 7}, {0xB0, 2, 7}, {0xB0, 3, 7}, {0xB0, 4, 0}, {0xB0, 5, 0}}), 0, 700).script,
              "5A:01=20 5A:B0=01 w440 5A:B0=02 w440 5A:B0=03 w441 5A:B0=04 5A:B0=05");
}

TEST(Yorvath, WholeFile) {
    TempDir dir;
    // Type 0 files start with an entry that writes 0 to register 0.
    dir.write("song.imf", entries({{0x00, 0x00, 0}, {0xB0, 0x11, 1}, {0xB0, 0x31, 0}}));
    const RunResult r = run_tool("yorvath", {"song.imf"}, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, head("song.imf") + info(0, 560, "0850") + "File written.\n");
    ByteVec expected(0x80, 0);
    const std::vector<std::pair<size_t, uint32_t>> fields = {
        {0x00, 0x206D6756}, {0x04, 0x8C}, {0x08, 0x151}, {0x18, 78}, {0x24, 560}, {0x34, 0x4C}, {0x50, 3579545},
    };
    for (const auto& [off, v] : fields)
        for (int i = 0; i < 4; ++i) expected[off + i] = uint8_t(v >> (8 * i));
    expected.insert(expected.end(), {0x5A, 0x01, 0x20, 0x5A, 0x00, 0x00, 0x5A, 0xB0, 0x11, 0x61, 0x4E, 0x00, 0x5A, 0xB0, 0x31, 0x66});
    EXPECT_EQ(dir.read("song.vgm"), expected);
}

TEST(Yorvath, OptionsRatesAndTypes) {
    const ByteVec t0 = entries({{0x00, 0x00, 0}, {0x20, 0x01, 700}});  // first 16 bits zero: type 0
    const ByteVec t1 = type1(8, entries({{0x20, 0x01, 700}, {0x20, 0x02, 0}}));
    struct Case {
        std::vector<std::string> args;
        std::string file;
        const ByteVec* bytes;
        std::string line;  // the type/rate line
    };
    const std::vector<Case> cases = {
        {{"-Hz0x230", "a.wlf"}, "a.wlf", &t0, info(0, 560, "0850")},
        {{"-hz700", "a.imf"}, "a.imf", &t0, info(0, 700, "06A6")},
        {{"-HZ1000", "a.imf"}, "a.imf", &t0, info(0, 1000, "04A9")},
        {{"-Hz0", "a.wlf"}, "a.wlf", &t0, info(0, 700, "06A6")},     // 0: no override
        {{"-Hz", "a.imf"}, "a.imf", &t0, info(0, 560, "0850")},      // no digits: no override
        {{"-Hz010", "a.imf"}, "a.imf", &t0, info(0, 8, "2469B")},    // octal
        {{"-Hz0x10118", "a.imf"}, "a.imf", &t0, info(0, 280, "10A1")},  // low 16 bits
        {{"song.WLF"}, "song.WLF", &t0, info(0, 700, "06A6")},
        {{"noext"}, "noext", &t0, info(0, 560, "0850")},
        {{"x.imf"}, "x.imf", &t1, info(1, 560, "0850")},
        {{"-Type1", "x.imf"}, "x.imf", &t0, info(1, 560, "0850")},
        {{"-type0", "x.imf"}, "x.imf", &t1, info(0, 560, "0850")},
        {{"-TYPE257", "x.imf"}, "x.imf", &t0, info(1, 560, "0850")},  // low 8 bits
        {{"-Loop", "-Hz280", "-Type0", "x.imf"}, "x.imf", &t1, info(0, 280, "10A1")},
        {{"-foo.imf"}, "-foo.imf", &t0, info(0, 560, "0850")},  // not an option: the input name
    };
    for (const auto& c : cases) {
        TempDir dir;
        dir.write(c.file, *c.bytes);
        const RunResult r = run_tool("yorvath", c.args, dir.path());
        const std::string what = c.args[0];
        EXPECT_EQ(r.exit_code, 0) << what;
        EXPECT_EQ(r.out, head(c.file) + c.line + "File written.\n") << what;
        const std::string out = c.file.substr(0, c.file.rfind('.')) + ".vgm";
        const ByteVec vgm = dir.read(c.file.find('.') == std::string::npos ? c.file + ".vgm" : out);
        ASSERT_EQ(read_capture_vgm(vgm).error, "") << what;
        const bool loop = c.args[0] == "-Loop";
        EXPECT_EQ(le32_at(vgm, 0x1C), loop ? 0x64u : 0u) << what;
        EXPECT_EQ(le32_at(vgm, 0x20), loop ? le32_at(vgm, 0x18) : 0u) << what;
        EXPECT_EQ(le32_at(vgm, 0x24), std::stoul(c.line.substr(c.line.find("Rate: ") + 6))) << what;
    }
}

TEST(Yorvath, HelpBadTypeAndNames) {
    TempDir dir;
    RunResult r = run_tool("yorvath", {"-HELP", "x.imf"}, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, banner("yorvath") +
                         "Usage: yorvath [-Loop] [-Hz###] [-Type#] Input.imf [Output.vgm]\n"
                         "\n"
                         "Loop: Makes the song loop from beginning to end.\n"
                         "Hz:   There are 3 known speeds: 280, 560 and 700\n"
                         "      560 is default for .imf, 700 for .wlf files\n"
                         "Type: Can be 0 (no header) or 1 (header with 2-byte file size)\n");

    dir.write("x.imf", entries({{0x00, 0x00, 0}, {0x20, 0x01, 0}}));
    for (const char* bad : {"-Type2", "-type0x102", "-Type3"}) {
        r = run_tool("yorvath", {bad, "x.imf"}, dir.path());
        EXPECT_EQ(r.exit_code, 2) << bad;
        EXPECT_EQ(r.out, banner("yorvath") + "Error: Type must be either 0 or 1!\n") << bad;
    }
    EXPECT_FALSE(dir.exists("x.vgm"));

    r = run_tool("yorvath", {"x.imf", "other name.bin"}, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(dir.exists("other name.bin"));
    EXPECT_FALSE(dir.exists("x.vgm"));
    r = run_tool("yorvath", {"x.imf", ""}, dir.path());
    EXPECT_TRUE(dir.exists("x.vgm"));

    r = run_tool("yorvath", {"-Loop"}, dir.path(), "'x.imf'\n");
    EXPECT_EQ(r.out, banner("yorvath") + "File Name:\t\n" + info(0, 560, "0850") + "File written.\n");
    r = run_tool("yorvath", {}, dir.path(), "");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, banner("yorvath") + "File Name:\t");

    r = run_tool("yorvath", {"missing.imf"}, dir.path());
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, banner("yorvath") + "File Name:\tmissing.imf\nError opening the file!\n");

    ASSERT_EQ(::mkdir(dir.file("blocked.vgm").c_str(), 0755), 0);
    r = run_tool("yorvath", {"x.imf", "blocked.vgm"}, dir.path());
    EXPECT_NE(r.exit_code, 0);
    EXPECT_EQ(r.out, head("x.imf") + info(0, 560, "0850") + "Error writing blocked.vgm!\n");
}

// Byte counts and entries that run past the data or the file.
TEST(Yorvath, EntryBounds) {
    struct Case {
        const char* what;
        ByteVec imf;
        int type;  // -1: detected
        std::string script;
    };
    const ByteVec two = entries({{0x20, 0x01, 1}, {0x20, 0x02, 1}});
    auto cut = [](ByteVec v, size_t n) {
        v.resize(n);
        return v;
    };
    const std::vector<Case> cases = {
        {"whole", two, 0, "5A:01=20 5A:20=01 w78 5A:20=02 w79"},
        {"delay missing", cut(two, 6), 0, "5A:01=20 5A:20=01 w78 5A:20=02"},
        {"delay half there", cut(two, 7), 0, "5A:01=20 5A:20=01 w78 5A:20=02"},
        {"only a register", cut(two, 5), 0, "5A:01=20 5A:20=01 w78"},
        {"type 1 count past the file", type1(400, two), -1, "5A:01=20 5A:20=01 w78 5A:20=02 w79"},
        {"type 1 count stops the entries", type1(4, two), -1, "5A:01=20 5A:20=01 w78"},
        // An entry that starts before the count's end is taken whole.
        {"type 1 entry reaching past the count", type1(5, two), -1, "5A:01=20 5A:20=01 w78 5A:20=02 w79"},
        {"empty", {}, -1, "5A:01=20"},
        {"one byte", {0x07}, -1, "5A:01=20"},
        {"one byte as type 1", {0x07}, 1, "5A:01=20"},
    };
    for (const auto& c : cases) EXPECT_EQ(convert(c.imf, c.type, 560).script, c.script) << c.what;
}

// The real files: every entry becomes a write (plus the first 0x01 := 0x20),
// and the header's total is the sum of the waits.
TEST(Yorvath, Corpus) {
    const std::string corpus = corpus_dir();
    if (corpus.empty()) GTEST_SKIP() << "no corpus";
    struct Case {
        std::string name;
        unsigned type, rate;
        size_t entries;
    };
    const std::vector<Case> cases = {
        {"WONDERIN.WLF", 0, 700, 8336 / 4},
        {"Klad.imf", 0, 560, 24684 / 4},
        {"CC74-Bass-solo.imf", 1, 560, 1168 / 4},
        {"testtag.wlf", 1, 700, 888 / 4},  // the tag after the byte count is not music
    };
    for (const auto& c : cases) {
        ByteVec bytes;
        FILE* f = std::fopen((corpus + "/imf/" + c.name).c_str(), "rb");
        if (!f) continue;
        for (int ch; (ch = std::fgetc(f)) != EOF;) bytes.push_back(static_cast<uint8_t>(ch));
        std::fclose(f);
        TempDir dir;
        dir.write(c.name, bytes);
        const RunResult r = run_tool("yorvath", {c.name}, dir.path());
        ASSERT_EQ(r.exit_code, 0) << c.name;
        EXPECT_NE(r.out.find("IMF Type: " + std::to_string(c.type) + ", IMF Playback Rate: " + std::to_string(c.rate)),
                  std::string::npos)
            << c.name;
        const ByteVec vgm = dir.read(c.name.substr(0, c.name.rfind('.')) + ".vgm");
        const CaptureVgm v = read_capture_vgm(vgm);
        EXPECT_EQ(v.error, "") << c.name;
        EXPECT_EQ(v.writes.size(), c.entries + 1) << c.name;
        EXPECT_EQ(v.samples, le32_at(vgm, 0x18)) << c.name;
        EXPECT_EQ(le32_at(vgm, 0x24), c.rate) << c.name;
        // Seconds of music in a sensible range for a game tune.
        EXPECT_GT(v.samples, 44100u) << c.name;
        EXPECT_LT(v.samples, 44100u * 1200) << c.name;
    }
}
