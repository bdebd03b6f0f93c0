#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>

#include "capture_vgm.h"
#include "tool_runner.h"
#include "wrengle.h"

using namespace testvgm;

namespace {

// "RAWADATA", the clock divisor, then (data, register) pairs.
ByteVec raw(uint16_t divisor, const ByteVec& pairs) {
    static const char kSig[] = "RAWADATA";
    ByteVec v(10 + pairs.size());
    std::copy(kSig, kSig + 8, v.begin());
    v[8] = uint8_t(divisor);
    v[9] = uint8_t(divisor >> 8);
    std::copy(pairs.begin(), pairs.end(), v.begin() + 10);
    return v;
}

struct Converted {
    CaptureVgm vgm;
    ByteVec file;
    std::string messages;
};

Converted convert(const ByteVec& bytes, bool loop = false) {
    char* buf = nullptr;
    size_t len = 0;
    FILE* out = open_memstream(&buf, &len);
    vgm::Console con{out, stdin};
    const auto vgm = wrengle::convert_raw(bytes, loop, con);
    std::fclose(out);
    Converted c;
    c.messages.assign(buf, len);
    std::free(buf);
    c.file.assign(vgm.file().begin(), vgm.file().end());
    c.vgm = read_capture_vgm(c.file);
    EXPECT_EQ(c.vgm.error, "");
    return c;
}

std::string head(const std::string& name) { return banner("wrengle") + "File Name:\t" + name + "\n\n"; }

}  // namespace

TEST(Wrengle, TicksRoundToTheNearestSample) {
    const std::vector<std::pair<uint64_t, uint32_t>> cases = {
        {0, 0}, {13, 0}, {14, 1}, {28, 1}, {42, 2}, {1193, 44}, {1193180, 44100}, {5013427500, 185296563},
    };
    for (const auto& [ticks, samples] : cases) EXPECT_EQ(wrengle::ticks_to_samples(ticks), samples) << ticks;
}

TEST(Wrengle, Pairs) {
    struct Case {
        const char* what;
        ByteVec file;
        std::string script;
        uint32_t clock;
    };
    ByteVec long_song;
    for (int i = 0; i < 300; ++i) long_song.insert(long_song.end(), {0xFF, 0x00});  // 300 x 255 x 0xFFFF ticks
    long_song.insert(long_song.end(), {0x01, 0x20});
    const std::vector<Case> cases = {
        {"delay then write", raw(1193, {0x01, 0x00, 0x11, 0x20}), "w44 5A:20=11", 0x00369E99},
        // Targets 1, 1, 2 from 14, 28 and 42 ticks: waits 1, 0, 1.
        {"rounding from the total", raw(14, {1, 0, 0xA0, 0xB0, 1, 0, 0xA1, 0xB0, 1, 0, 0xA2, 0xB0}),
         "w1 5A:B0=A0 5A:B0=A1 w1 5A:B0=A2", 0x00369E99},
        {"clock change", raw(7, {0x00, 0x02, 0xA9, 0x04, 0x01, 0x00, 0x11, 0x20}), "w44 5A:20=11", 0x00369E99},
        {"delay of n x divisor", raw(1000, {0x03, 0x00, 0x11, 0x20}), "w111 5A:20=11", 0x00369E99},
        // Selecting the second chip makes the whole file dual, writes before it too.
        {"chip selection", raw(1, {0x40, 0x20, 0x02, 0x02, 0x41, 0x20, 0x01, 0x02, 0x42, 0x20}),
         "5A:20=40 AA:20=41 5A:20=42", 0x40369E99},
        {"a long song", raw(0xFFFF, long_song), "w185296563 5A:20=01", 0x00369E99},
        {"exactly 10 bytes", raw(1, {}), "", 0x00369E99},
        {"11 bytes", raw(1, {0x20}), "", 0x00369E99},
        {"shorter than the divisor", {'R', 'A', 'W'}, "", 0x00369E99},
        {"empty", {}, "", 0x00369E99},
        {"clock change cut", raw(1193, {0x01, 0x00, 0x11, 0x20, 0x00, 0x02, 0x05}), "w44 5A:20=11", 0x00369E99},
        {"last pair cut", raw(1193, {0x01, 0x00, 0x11, 0x20, 0x12}), "w44 5A:20=11", 0x00369E99},
        {"trailing delay", raw(1193, {0x11, 0x20, 0x05, 0x00}), "5A:20=11", 0x00369E99},
    };
    for (const auto& c : cases) {
        const Converted r = convert(c.file);
        EXPECT_EQ(r.vgm.script, c.script) << c.what;
        EXPECT_EQ(le32_at(r.file, 0x50), c.clock) << c.what;
        EXPECT_EQ(le32_at(r.file, 0x18), r.vgm.samples) << c.what;  // up to the last write
        EXPECT_EQ(le32_at(r.file, 0x24), 0u) << c.what;
        EXPECT_EQ(r.messages, "") << c.what;
    }
    // The wait is not written for dropped data: a 10-byte file is the header and 0x66.
    EXPECT_EQ(convert(raw(1, {})).file.size(), 129u);
}

TEST(Wrengle, WholeFileWithLoopAndUnknownControl) {
    TempDir dir;
    dir.write("cap.raw", raw(1193, {0x01, 0x00, 0x11, 0x20, 0x07, 0x02, 0xFF, 0x02, 0x01, 0x00, 0x22, 0xB0}));
    const RunResult r = run_tool("wrengle", {"-LOOP", "cap.raw"}, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, head("cap.raw") +
                         "Unknown Control Type 0x07 found!\n"
                         "Unknown Control Type 0xFF found!\n"
                         "File written.\n");
    ByteVec expected(0x80, 0);
    const std::vector<std::pair<size_t, uint32_t>> fields = {
        {0x00, 0x206D6756}, {0x04, 0x80 + 13 - 4}, {0x08, 0x151}, {0x18, 88},         {0x1C, 0x64},
        {0x20, 88},         {0x34, 0x4C},          {0x50, 3579545},
    };
    for (const auto& [off, v] : fields)
        for (int i = 0; i < 4; ++i) expected[off + i] = uint8_t(v >> (8 * i));
    expected.insert(expected.end(), {0x61, 0x2C, 0x00, 0x5A, 0x20, 0x11, 0x61, 0x2C, 0x00, 0x5A, 0xB0, 0x22, 0x66});
    EXPECT_EQ(dir.read("cap.vgm"), expected);
}

TEST(Wrengle, CommandLine) {
    TempDir dir;
    RunResult r = run_tool("wrengle", {"-Help"}, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, banner("wrengle") +
                         "Usage: wrengle [-Loop] Input.raw [Output.vgm]\n"
                         "\n"
                         "Loop: Makes the song loop from beginning to end.\n");

    dir.write("-x.raw", raw(1, {0x11, 0x20}));
    r = run_tool("wrengle", {"-x.raw", "named.vgm"}, dir.path());  // not an option: the input name
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, head("-x.raw") + "File written.\n");
    EXPECT_EQ(le32_at(dir.read("named.vgm"), 0x1C), 0u);
    EXPECT_FALSE(dir.exists("-x.vgm"));

    r = run_tool("wrengle", {"-loop"}, dir.path(), "'-x.raw'\r\n");
    EXPECT_EQ(r.out, banner("wrengle") + "File Name:\t\nFile written.\n");
    EXPECT_EQ(le32_at(dir.read("-x.vgm"), 0x1C), 0x64u);

    r = run_tool("wrengle", {}, dir.path(), "\n");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, banner("wrengle") + "File Name:\t");

    r = run_tool("wrengle", {"nothing.raw"}, dir.path());
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, banner("wrengle") + "File Name:\tnothing.raw\nError opening the file!\n");

    ASSERT_EQ(::mkdir(dir.file("in.vgm").c_str(), 0755), 0);
    dir.write("in.raw", raw(1, {}));
    r = run_tool("wrengle", {"in.raw", ""}, dir.path());
    EXPECT_NE(r.exit_code, 0);
    EXPECT_EQ(r.out, head("in.raw") + "Error writing in.vgm!\n");
}

// The real captures: sensible lengths, and the header's total is the sum of
// the waits written.
TEST(Wrengle, Corpus) {
    const std::string corpus = corpus_dir();
    if (corpus.empty()) GTEST_SKIP() << "no corpus";
    for (const std::string name : {"crusader.raw", "inc.raw"}) {
        ByteVec bytes;
        FILE* f = std::fopen((corpus + "/raw/" + name).c_str(), "rb");
        if (!f) continue;
        for (int ch; (ch = std::fgetc(f)) != EOF;) bytes.push_back(static_cast<uint8_t>(ch));
        std::fclose(f);
        TempDir dir;
        dir.write(name, bytes);
        const RunResult r = run_tool("wrengle", {name}, dir.path());
        ASSERT_EQ(r.exit_code, 0) << name;
        EXPECT_EQ(r.out, head(name) + "File written.\n") << name;
        const ByteVec vgm = dir.read(name.substr(0, name.rfind('.')) + ".vgm");
        const CaptureVgm v = read_capture_vgm(vgm);
        EXPECT_EQ(v.error, "") << name;
        EXPECT_EQ(v.samples, le32_at(vgm, 0x18)) << name;
        EXPECT_EQ(le32_at(vgm, 0x50), 3579545u) << name;
        EXPECT_GT(v.writes.size(), 500u) << name;
        EXPECT_GT(v.samples, 44100u) << name;
        EXPECT_LT(v.samples, 44100u * 1200) << name;
    }
}
