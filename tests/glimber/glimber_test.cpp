// glimber end to end: the real program on small files built byte by byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tool_runner.h"
#include "vgm/bytes.h"
#include "vgm_builder.h"

using testvgm::ByteVec;
using testvgm::run_tool;
using testvgm::TempDir;
using testvgm::VgmBuilder;

namespace {

constexpr size_t kDataStart = 0x80;  // VgmBuilder's default header
const ByteVec A = {0x50, 0x01}, B = {0x50, 0x02}, D = {0x50, 0x03};

ByteVec cat(std::initializer_list<ByteVec> parts) {
    ByteVec out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::string head(const std::string& name = "in.vgm") {
    return testvgm::banner("glimber") + "File Name:\t" + name + "\n\n";
}
std::string written(const std::string& name = "in_no1smpl.vgm") {
    return std::string("\t\t\t\t\t\t\t\t\r") + name + " written.\n";
}

ByteVec stream_of(const ByteVec& file) { return ByteVec(file.begin() + kDataStart, file.end()); }

// The input: header, then `stream` (ending with 0x66 where a case wants it),
// total samples `total`, loop point at stream offset `loop` (-1: none).
ByteVec make_input(const ByteVec& stream, uint32_t total, long loop = -1, bool tag = false) {
    VgmBuilder b;
    b.total_samples(total).loop_samples(1234);
    if (loop >= 0) {
        b.raw(ByteVec(stream.begin(), stream.begin() + loop)).loop_here();
        b.raw(ByteVec(stream.begin() + loop, stream.end()));
    } else {
        b.raw(stream);
    }
    if (tag) b.gd3({"Title", "", "Game"});
    return b.build();
}

}  // namespace

// The walk over the edge cases of the format's short waits. Each case gives
// the input stream and the output stream, or none when nothing may be written.
TEST(Glimber, Walk) {
    struct Case {
        const char* what;
        std::vector<std::string> options;
        ByteVec in;
        uint32_t in_total;
        bool writes;
        ByteVec out;
        uint32_t out_total;
    };
    const std::vector<Case> cases = {
        {"short waits between writes move to the next wait", {},
         cat({A, {0x70}, B, {0x70}, D, {0x62, 0x66}}), 737, true, cat({A, B, D, {0x61, 0xE1, 0x02, 0x66}}), 737},
        {"a short wait before a long one is put back", {},
         cat({A, {0x70, 0x62, 0x66}}), 736, true, cat({A, {0x70, 0x62, 0x66}}), 736},
        {"a short wait after a wait stays", {},
         cat({A, {0x70, 0x70}, B, {0x66}}), 2, true, cat({A, {0x70, 0x70}, B, {0x66}}), 2},
        {"held time at the end is dropped", {},
         cat({A, {0x70, 0x66}}), 1, true, cat({A, {0x66}}), 0},
        {"0x80-0x8F are commands whose wait counts in the time", {},
         cat({A, {0x70, 0x81, 0x62, 0x66}}), 737, true, cat({A, {0x81, 0x61, 0xE0, 0x02, 0x66}}), 737},
        {"a short wait at the start of the stream", {},
         cat({{0x70}, A, {0x62, 0x66}}), 736, true, cat({A, {0x61, 0xE0, 0x02, 0x66}}), 736},
        {"a zero wait is short", {},
         cat({A, {0x61, 0x00, 0x00}, B, {0x62, 0x66}}), 735, true, cat({A, B, {0x62, 0x66}}), 735},
        {"0x61 0x0001 is short", {},
         cat({A, {0x61, 0x01, 0x00}, B, {0x62, 0x66}}), 736, true, cat({A, B, {0x61, 0xE0, 0x02, 0x66}}), 736},
        {"two samples are long by default", {},
         cat({A, {0x71}, B, {0x62, 0x66}}), 737, false, {}, 0},
        {"no short wait between commands: no file", {},
         cat({A, {0x62, 0x70}, B, {0x62, 0x66}}), 1471, false, {}, 0},
        {"-delay:0x10 makes 16 samples short", {"-delay:0x10"},
         cat({A, {0x7F}, B, {0x62, 0x66}}), 751, true, cat({A, B, {0x61, 0xEF, 0x02, 0x66}}), 751},
        {"-delay:020 is octal", {"-delay:020"},
         cat({A, {0x7F}, B, {0x62, 0x66}}), 751, true, cat({A, B, {0x61, 0xEF, 0x02, 0x66}}), 751},
        {"-delay:0 gives 1", {"-delay:0"},
         cat({A, {0x71}, B, {0x62, 0x66}}), 737, false, {}, 0},
        {"-delay:65536 gives 1", {"-delay:65536"},
         cat({A, {0x71}, B, {0x62, 0x66}}), 737, false, {}, 0},
        {"the last -delay counts", {"-delay:16", "-delay:1"},
         cat({A, {0x7F}, B, {0x62, 0x66}}), 751, false, {}, 0},
        {"held time above 65535 is written in chunks", {"-delay:65535"},
         cat({A, {0x61, 0xFF, 0xFF}, B, {0x61, 0xFF, 0xFF}, D, {0x62, 0x62, 0x66}}), 132540, true,
         cat({A, B, D, {0x61, 0xFF, 0xFF, 0x61, 0xFF, 0xFF, 0x61, 0xDF, 0x02, 0x62, 0x66}}), 132540},
        {"held time of 16 samples or less is one byte", {"-delay:8"},
         cat({A, {0x77}, B, {0x77, 0x77, 0x66}}), 24, true, cat({A, B, {0x7F, 0x77, 0x66}}), 24},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        dir.write("in.vgm", make_input(c.in, c.in_total, -1, true));
        std::vector<std::string> args = c.options;
        args.push_back("in.vgm");
        const auto r = run_tool("glimber", args, dir.path());
        EXPECT_EQ(r.exit_code, 0);
        if (!c.writes) {
            EXPECT_EQ(r.out, head());
            EXPECT_EQ(dir.list(), std::vector<std::string>{"in.vgm"});
            continue;
        }
        EXPECT_EQ(r.out, head() + written());
        const ByteVec out = dir.read("in_no1smpl.vgm");
        const ByteVec tag = testvgm::gd3_block_ascii({"Title", "", "Game"});
        ASSERT_GE(out.size(), kDataStart + tag.size());
        const ByteVec stream(out.begin() + kDataStart, out.end() - static_cast<long>(tag.size()));
        EXPECT_EQ(stream, c.out);
        EXPECT_EQ(vgm::load_le32(out, 0x18), c.out_total);
        EXPECT_EQ(vgm::load_le32(out, 0x20), 1234u);  // loop samples as in the input
        EXPECT_EQ(vgm::load_le32(out, 0x04), out.size() - 4);
        EXPECT_EQ(vgm::load_le32(out, 0x14), kDataStart + c.out.size() - 0x14);
        EXPECT_TRUE(std::equal(tag.begin(), tag.end(), out.end() - static_cast<long>(tag.size())));
    }
}

TEST(Glimber, LoopPoint) {
    struct Case {
        const char* what;
        ByteVec in;
        long loop;  // stream offset in the input
        bool writes;
        ByteVec out;
        long out_loop;  // stream offset in the output, -1: no loop
        std::string warning;
    };
    const std::vector<Case> cases = {
        {"loop at the first command", cat({A, {0x70, 0x62, 0x66}}), 0, true, cat({A, {0x70, 0x62, 0x66}}), 0, ""},
        {"loop at the command after a taken-out wait starts a sample earlier", cat({A, {0x70}, B, {0x62, 0x66}}), 3,
         true, cat({A, B, {0x61, 0xE0, 0x02, 0x66}}), 2, ""},
        {"a short wait at the loop point stays", cat({A, {0x70}, B, {0x62, 0x66}}), 2, false, {}, 0, ""},
        {"loop at a wait that puts held time back", cat({A, {0x70, 0x62, 0x66}}), 3, true, cat({A, {0x70, 0x62, 0x66}}),
         2, ""},
        {"loop inside a command is lost", cat({A, {0x70}, B, {0x62, 0x66}}), 1, true,
         cat({A, B, {0x61, 0xE0, 0x02, 0x66}}), -1, "Warning! Failed to relocate Loop Point!\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        dir.write("in.vgm", make_input(c.in, 736, c.loop));
        const auto r = run_tool("glimber", {"in.vgm"}, dir.path());
        EXPECT_EQ(r.exit_code, 0);
        if (!c.writes) {
            EXPECT_EQ(r.out, head());
            EXPECT_FALSE(dir.exists("in_no1smpl.vgm"));
            continue;
        }
        EXPECT_EQ(r.out, head() + c.warning + written());
        const ByteVec out = dir.read("in_no1smpl.vgm");
        EXPECT_EQ(stream_of(out), c.out);
        EXPECT_EQ(vgm::load_le32(out, 0x1C), c.out_loop < 0 ? 0u : kDataStart + c.out_loop - 0x1C);
        EXPECT_EQ(vgm::load_le32(out, 0x14), 0u);
        EXPECT_EQ(vgm::load_le32(out, 0x04), out.size() - 4);
    }
}

TEST(Glimber, HeaderIsCopiedAsStored) {
    // Version 1.01: the loader ignores the data offset and the bytes from
    // 0x38, but the output header keeps them as the file has them.
    VgmBuilder b(0x101, 0x40);
    b.u32(0x24, 60).u32(0x34, 0x4C).u32(0x38, 0xCAFEF00D).total_samples(737);
    b.raw(cat({A, {0x70}, B, {0x62, 0x66}}));
    const ByteVec in = b.build();
    TempDir dir;
    dir.write("in.vgz", testvgm::gzip(in));
    const auto r = run_tool("glimber", {"in.vgz"}, dir.path());
    EXPECT_EQ(r.out, head("in.vgz") + written());
    const ByteVec out = dir.read("in_no1smpl.vgm");  // written uncompressed
    ByteVec expected(in.begin(), in.begin() + 0x40);
    const ByteVec stream = cat({A, B, {0x61, 0xE0, 0x02, 0x66}});
    expected.insert(expected.end(), stream.begin(), stream.end());
    vgm::store_le32(expected, 0x04, static_cast<uint32_t>(expected.size() - 4));
    vgm::store_le32(expected, 0x18, 736);
    EXPECT_EQ(out, expected);
}

TEST(Glimber, StreamWithoutEnd) {
    // Without 0x66 the walk ends at the end of the file; a command cut off
    // there is kept as it stands.
    const std::vector<std::pair<ByteVec, ByteVec>> cases = {
        {cat({A, {0x70}, B, {0x62}}), cat({A, B, {0x61, 0xE0, 0x02}})},
        {cat({A, {0x70}, B, {0x62, 0x61, 0x05}}), cat({A, B, {0x61, 0xE0, 0x02, 0x61, 0x05}})},
        {cat({A, {0x70}, B, {0x62, 0x67, 0x66, 0x00, 0xFF, 0xFF, 0x00, 0x00, 1, 2}}),
         cat({A, B, {0x61, 0xE0, 0x02, 0x67, 0x66, 0x00, 0xFF, 0xFF, 0x00, 0x00, 1, 2}})},
    };
    for (const auto& [in, expected] : cases) {
        TempDir dir;
        dir.write("in.vgm", make_input(in, 736));
        const auto r = run_tool("glimber", {"in.vgm"}, dir.path());
        EXPECT_EQ(r.out, head() + written());
        const ByteVec out = dir.read("in_no1smpl.vgm");
        EXPECT_EQ(stream_of(out), expected);
        EXPECT_EQ(vgm::load_le32(out, 0x04), out.size() - 4);
    }
}

TEST(Glimber, CommandLineAndMessages) {
    const ByteVec in = make_input(cat({A, {0x70}, B, {0x96}, {0x45, 0x00}, {0x62, 0x66}}), 736);
    const ByteVec expected_stream = cat({A, B, {0x96}, {0x45, 0x00}, {0x61, 0xE0, 0x02, 0x66}});
    {
        // Unknown bytes are reported and copied; 0x40-0x4E are two bytes long.
        TempDir dir;
        dir.write("in.vgm", in);
        const auto r = run_tool("glimber", {"in.vgm"}, dir.path());
        EXPECT_EQ(r.out, head() + "Unknown Command: 96\n" + written());
        EXPECT_EQ(stream_of(dir.read("in_no1smpl.vgm")), expected_stream);
    }
    {
        // An output name: only what follows its last backslash is printed.
        TempDir dir;
        dir.write("in.vgm", in);
        const auto r = run_tool("glimber", {"-delay:1", "in.vgm", "D:\\out\\a.vgm"}, dir.path());
        EXPECT_EQ(r.out, head() + "Unknown Command: 96\n" + written("a.vgm"));
        EXPECT_TRUE(dir.exists("D:\\out\\a.vgm"));
        // An empty output name falls back to the usual name.
        const auto r2 = run_tool("glimber", {"in.vgm", ""}, dir.path());
        EXPECT_EQ(r2.exit_code, 0);
        EXPECT_TRUE(dir.exists("in_no1smpl.vgm"));
    }
    {
        // Without a name on the command line the name is asked for; options
        // are read first.
        TempDir dir;
        dir.write("my song.vgm", in);
        const auto r = run_tool("glimber", {"-delay:1"}, dir.path(), "'my song.vgm'\n");
        EXPECT_EQ(r.out, testvgm::banner("glimber") + "File Name:\t\n" + "Unknown Command: 96\n" +
                             written("my song_no1smpl.vgm"));
        EXPECT_TRUE(dir.exists("my song_no1smpl.vgm"));
    }
    {
        // An empty name ends the run quietly.
        TempDir dir;
        const auto r = run_tool("glimber", {}, dir.path(), "\n");
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.out, testvgm::banner("glimber") + "File Name:\t");
    }
    {
        // "-x" is no option: it is the input name.
        TempDir dir;
        const auto r = run_tool("glimber", {"-x", "in.vgm"}, dir.path());
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.out, testvgm::banner("glimber") + "File Name:\t-x\nError opening the file!\n");
    }
}

TEST(Glimber, OutputThatCannotBeWritten) {
    TempDir dir;
    dir.write("in.vgm", make_input(cat({A, {0x70}, B, {0x62, 0x66}}), 736));
    const auto r = run_tool("glimber", {"in.vgm", "missing/out.vgm"}, dir.path());
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, head() + "\t\t\t\t\t\t\t\t\rError writing missing/out.vgm!\n");
    EXPECT_EQ(dir.list(), std::vector<std::string>{"in.vgm"});

    // The name is taken by a directory: the new file is written in full
    // under a temporary name, the rename fails, and nothing is left behind.
    std::filesystem::create_directory(dir.file("taken.vgm"));
    const auto r2 = run_tool("glimber", {"in.vgm", "taken.vgm"}, dir.path());
    EXPECT_EQ(r2.exit_code, 1);
    EXPECT_NE(r2.out.find("\t\t\t\t\t\t\t\t\rError writing taken.vgm!\n"), std::string::npos);
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"in.vgm", "taken.vgm"}));
    EXPECT_TRUE(std::filesystem::is_empty(dir.file("taken.vgm")));
}
