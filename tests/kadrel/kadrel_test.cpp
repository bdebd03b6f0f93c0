// kadrel end to end: the real program on small files built byte by byte.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "kadrel.h"
#include "tool_runner.h"
#include "vgm/bytes.h"
#include "vgm_builder.h"

using testvgm::ByteVec;
using testvgm::run_tool;
using testvgm::TempDir;
using testvgm::VgmBuilder;

namespace {

constexpr size_t kDataStart = 0x80;

std::string head(const std::string& name = "in.vgm") { return testvgm::banner("kadrel") + "File Name:\t" + name + "\n\n"; }

struct Stats {
    int lowest = 0;
    unsigned lowest_at = 0;
    int highest = 0;
    unsigned highest_at = 0;
    int first = 0;
    unsigned first_at = 0;
};

std::string report(const Stats& s) {
    char buf[256];
    std::snprintf(buf, sizeof buf, "\t%d at %06X\n\t%d at %06X\n\t%d at %06X (first frame only)\n", s.lowest,
                  s.lowest_at, s.highest, s.highest_at, s.first, s.first_at);
    return std::string("Maximum Rounding Difference:\n") + buf;
}

std::string written(const std::string& name = "in_frame.vgm") {
    return std::string("\t\t\t\t\t\t\t\t\r") + name + " written.\n";
}

ByteVec make_input(uint32_t rate, const ByteVec& stream, long loop = -1, bool tag = false) {
    VgmBuilder b;
    b.u32(0x24, rate).total_samples(2000).loop_samples(400);
    if (loop >= 0) {
        b.raw(ByteVec(stream.begin(), stream.begin() + loop)).loop_here();
        b.raw(ByteVec(stream.begin() + loop, stream.end()));
    } else {
        b.raw(stream);
    }
    if (tag) b.gd3({"Title", "", "Game"});
    return b.build();
}

ByteVec stream_of(const ByteVec& file, size_t tag_size = 0) {
    return ByteVec(file.begin() + kDataStart, file.end() - static_cast<long>(tag_size));
}

}  // namespace

TEST(Kadrel, Frames) {
    EXPECT_EQ(kadrel_frames(0, 735), 0u);
    EXPECT_EQ(kadrel_frames(367, 735), 0u);
    EXPECT_EQ(kadrel_frames(368, 735), 1u);
    EXPECT_EQ(kadrel_frames(441, 882), 1u);  // exactly half a frame rounds up
    EXPECT_EQ(kadrel_frames(400, 735), 1u);
    EXPECT_EQ(kadrel_frames(100000, 735), 136u);
    EXPECT_EQ(kadrel_frames(0xFFFFFFFFu, 735), 5843493u);
}

// Waits rebuilt on frames, with the report of each case.
TEST(Kadrel, Walk) {
    struct Case {
        const char* what;
        uint32_t rate;
        ByteVec in;
        std::string rate_line;
        ByteVec out;
        Stats stats;
        uint16_t frame;
    };
    const std::vector<Case> cases = {
        {"frame waits stay", 60, {0x62, 0x62, 0x62, 0x66}, "", {0x62, 0x62, 0x62, 0x66}, {}, 735},
        {"400 + 335 is one frame; ties keep the earlier position", 60,
         {0x61, 0x90, 0x01, 0x61, 0x4F, 0x01, 0x61, 0x90, 0x01, 0x61, 0x4F, 0x01, 0x66}, "", {0x62, 0x62, 0x66},
         {-335, 0x80, 0, 0, 0, 0}, 735},
        {"a first wait of 300 rounds to nothing", 60, {0x61, 0x2C, 0x01, 0x50, 0x01, 0x66}, "", {0x50, 0x01, 0x66},
         {0, 0, 0, 0, 300, 0x80}, 735},
        {"three frames are one 0x61, two are two frame waits", 60, {0x61, 0x9D, 0x08, 0x61, 0xBE, 0x05, 0x66}, "",
         {0x61, 0x9D, 0x08, 0x62, 0x62, 0x66}, {}, 735},
        {"long waits in chunks; 0x61 0xFFFF leaves the statistics", 60, {0x61, 0xFF, 0xFF, 0x61, 0xA1, 0x86, 0x66}, "",
         {0x61, 0x87, 0xFF, 0x61, 0xF1, 0x86, 0x66}, {0, 0, 40, 0x83, 0, 0}, 735},
        {"50 Hz writes 0x63", 50, {0x63, 0x61, 0x84, 0x03, 0x66}, "", {0x63, 0x63, 0x66}, {0, 0, 18, 0x81, 0, 0}, 882},
        {"0x63 at 60 Hz: the stream grows", 60, {0x63, 0x63, 0x63, 0x66}, "", {0x62, 0x62, 0x62, 0x62, 0x66},
         {-294, 0x82, 294, 0x81, 0, 0}, 735},
        {"0x80-0x8F count their wait", 60, {0x61, 0x61, 0x01, 0x8F, 0x70, 0x66}, "", {0x8F, 0x62, 0x66},
         {-366, 0x84, 0, 0, 353, 0x80}, 735},
        {"rate 100: every wait a 0x61 of 441s", 100, {0x62, 0x50, 0x01, 0x61, 0x72, 0x03, 0x66},
         "Warning! Unusual VGM Frame Rate: 100\n", {0x61, 0x72, 0x03, 0x50, 0x01, 0x61, 0x72, 0x03, 0x66},
         {-147, 0x80, 0, 0, 0, 0}, 441},
        {"rate 70: 630 samples a frame", 70, {0x62, 0x66}, "Warning! Unusual VGM Frame Rate: 70\n",
         {0x61, 0x76, 0x02, 0x66}, {0, 0, 105, 0x80, 0, 0}, 630},
        {"rate 0 is taken as 60", 0, {0x61, 0x90, 0x01, 0x66}, "VGM Frame Rate 0 - set to 60.\n", {0x62, 0x66},
         {-335, 0x80, 0, 0, 0, 0}, 735},
        {"unknown bytes are copied; 0x40-0x4E are two bytes", 60, {0x96, 0x45, 0x00, 0x62, 0x66},
         "Unknown Command: 96\n", {0x96, 0x45, 0x00, 0x62, 0x66}, {}, 735},
        {"no end command", 60, {0x50, 0x01, 0x61, 0x90}, "", {0x50, 0x01, 0x61, 0x90}, {}, 735},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const bool tag = c.in.back() == 0x66;  // without an end the walk would run into the tag
        const ByteVec in = make_input(c.rate, c.in, -1, tag);
        dir.write("in.vgm", in);
        const auto r = run_tool("kadrel", {"in.vgm"}, dir.path());
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.out, head() + c.rate_line + report(c.stats) + written());
        const ByteVec out = dir.read("in_frame.vgm");
        const ByteVec gd3 = testvgm::gd3_block_ascii({"Title", "", "Game"});
        const size_t tag_size = tag ? gd3.size() : 0;
        ASSERT_GE(out.size(), kDataStart + tag_size);
        EXPECT_EQ(stream_of(out, tag_size), c.out);
        // Header: totals on frames (2000 samples: 3 frames at 60 Hz, loop
        // from frame 2), EOF, GD3, rate; the rest as stored.
        const uint32_t frames = static_cast<uint32_t>(2000.0 / c.frame + 0.5);
        const uint32_t intro = static_cast<uint32_t>(1600.0 / c.frame + 0.5);
        EXPECT_EQ(vgm::load_le32(out, 0x18), frames * c.frame);
        EXPECT_EQ(vgm::load_le32(out, 0x20), (frames - intro) * c.frame);
        EXPECT_EQ(vgm::load_le32(out, 0x24), c.rate ? c.rate : 60u);
        EXPECT_EQ(vgm::load_le32(out, 0x04), out.size() - 4);
        if (tag) {
            EXPECT_EQ(vgm::load_le32(out, 0x14), kDataStart + c.out.size() - 0x14);
            EXPECT_TRUE(std::equal(gd3.begin(), gd3.end(), out.end() - static_cast<long>(gd3.size())));
        }
        EXPECT_TRUE(std::equal(in.begin() + 0x28, in.begin() + kDataStart, out.begin() + 0x28));
    }
}

TEST(Kadrel, HeaderTotalsAtSixtyHertz) {
    TempDir dir;
    dir.write("in.vgm", make_input(60, {0x62, 0x66}));
    run_tool("kadrel", {"in.vgm"}, dir.path());
    const ByteVec out = dir.read("in_frame.vgm");
    EXPECT_EQ(vgm::load_le32(out, 0x18), 2205u);
    EXPECT_EQ(vgm::load_le32(out, 0x20), 735u);
}

TEST(Kadrel, LoopPoint) {
    struct Case {
        const char* what;
        ByteVec in;
        long loop;
        ByteVec out;
        long out_loop;  // -1: lost
    };
    const std::vector<Case> cases = {
        {"loop at a wait points at the waits appended for it", {0x50, 0x01, 0x62, 0x66}, 2, {0x50, 0x01, 0x62, 0x66}, 2},
        {"loop at a wait that appends nothing", {0x61, 0x90, 0x01, 0x61, 0x4F, 0x01, 0x50, 0x01, 0x62, 0x66}, 3,
         {0x62, 0x50, 0x01, 0x62, 0x66}, 1},
        {"loop at the first command", {0x50, 0x01, 0x62, 0x66}, 0, {0x50, 0x01, 0x62, 0x66}, 0},
        {"loop inside a command is lost", {0x50, 0x01, 0x62, 0x66}, 1, {0x50, 0x01, 0x62, 0x66}, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        dir.write("in.vgm", make_input(60, c.in, c.loop));
        const auto r = run_tool("kadrel", {"in.vgm"}, dir.path());
        const ByteVec out = dir.read("in_frame.vgm");
        EXPECT_EQ(stream_of(out), c.out);
        if (c.out_loop < 0) {
            EXPECT_EQ(r.out.find("Warning! Failed to relocate Loop Point!\nMaximum Rounding Difference:\n"),
                      head().size());
            EXPECT_EQ(vgm::load_le32(out, 0x1C), 0u);
        } else {
            EXPECT_EQ(r.out.find("Warning!"), std::string::npos);
            EXPECT_EQ(vgm::load_le32(out, 0x1C), kDataStart + c.out_loop - 0x1C);
        }
    }
}

TEST(Kadrel, RateThatDoesNotDivide) {
    TempDir dir;
    dir.write("in.vgm", make_input(64, {0x96, 0x62, 0x66}));
    const auto r = run_tool("kadrel", {"in.vgm"}, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, head() + "Error! VGM Frame Rate can't be rounded to whole samples!\n");
    EXPECT_EQ(dir.list(), std::vector<std::string>{"in.vgm"});
}

TEST(Kadrel, Names) {
    // Totals already on frames: the output is the input.
    const ByteVec in = VgmBuilder().u32(0x24, 60).total_samples(2205).loop_samples(735).cmd({0x62}).end().build();
    {
        // The base name is cut at the last dot anywhere in the name.
        TempDir dir;
        std::filesystem::create_directory(dir.file("dir.old"));
        dir.write("dir.old/song", in);
        const auto r = run_tool("kadrel", {"./dir.old/song"}, dir.path());
        EXPECT_EQ(r.out, head("./dir.old/song") + report({}) + written("./dir_frame.vgm"));
        EXPECT_TRUE(dir.exists("dir_frame.vgm"));
    }
    {
        TempDir dir;
        dir.write("song.vgz", testvgm::gzip(in));
        const auto r = run_tool("kadrel", {"song.vgz", ""}, dir.path());
        EXPECT_EQ(r.out, head("song.vgz") + report({}) + written("song_frame.vgm"));
        EXPECT_EQ(dir.read("song_frame.vgm"), in);  // uncompressed
        const auto r2 = run_tool("kadrel", {"song.vgz", "D:\\out\\a.vgm"}, dir.path());
        EXPECT_EQ(r2.out, head("song.vgz") + report({}) + written("a.vgm"));
        EXPECT_EQ(dir.read("D:\\out\\a.vgm"), in);
    }
    {
        // The prompt, and an empty answer.
        TempDir dir;
        dir.write("a b.vgm", in);
        const auto r = run_tool("kadrel", {}, dir.path(), "'a b.vgm'\n");
        EXPECT_EQ(r.out, testvgm::banner("kadrel") + "File Name:\t\n" + report({}) + written("a b_frame.vgm"));
        const auto r2 = run_tool("kadrel", {}, dir.path(), "");
        EXPECT_EQ(r2.exit_code, 0);
        EXPECT_EQ(r2.out, testvgm::banner("kadrel") + "File Name:\t");
    }
    {
        TempDir dir;
        const auto r = run_tool("kadrel", {"none.vgm"}, dir.path());
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.out, head("none.vgm").substr(0, head("none.vgm").size() - 1) + "Error opening the file!\n");
    }
}

TEST(Kadrel, OutputThatCannotBeWritten) {
    TempDir dir;
    dir.write("in.vgm", make_input(60, {0x62, 0x66}));
    const auto r = run_tool("kadrel", {"in.vgm", "missing/out.vgm"}, dir.path());
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, head() + report({}) + "\t\t\t\t\t\t\t\t\rError writing missing/out.vgm!\n");
    EXPECT_EQ(dir.list(), std::vector<std::string>{"in.vgm"});

    // The name is taken by a directory: the new file is written in full
    // under a temporary name, the rename fails, and nothing is left behind.
    std::filesystem::create_directory(dir.file("taken.vgm"));
    const auto r2 = run_tool("kadrel", {"in.vgm", "taken.vgm"}, dir.path());
    EXPECT_EQ(r2.exit_code, 1);
    EXPECT_NE(r2.out.find("\t\t\t\t\t\t\t\t\rError writing taken.vgm!\n"), std::string::npos);
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"in.vgm", "taken.vgm"}));
    EXPECT_TRUE(std::filesystem::is_empty(dir.file("taken.vgm")));
}
