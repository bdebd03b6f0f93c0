#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "vgm/commands.h"
#include "vgm/output.h"
#include "vgm/writer.h"
#include "vgm_builder.h"

using namespace vgm;
using testvgm::ByteVec;
using testvgm::VgmBuilder;

namespace {

VgmImage image(const ByteVec& bytes) {
    auto img = image_from_bytes(bytes, FixupProfile::Short);
    EXPECT_TRUE(img.has_value());
    return img ? *img : VgmImage{};
}

// Copies every command of the input stream, as the simplest rewrite would.
struct Rewrite {
    std::string printed;
    ByteVec out;
    uint32_t size = 0;
};

Rewrite copy_stream(const VgmImage& in, size_t extra_bytes_per_wait = 0) {
    Rewrite r;
    char* buf = nullptr;
    size_t len = 0;
    FILE* f = open_memstream(&buf, &len);
    Console con{f, stdin};
    OutputState out(in);
    size_t pos = in.data_start();
    while (pos < in.file_size) {
        const uint32_t n = command_length(in.data(), pos, kShortReservedReporting);
        if (!command_fits(in.file_size, pos, n)) break;
        out.record_loop(static_cast<uint32_t>(pos));
        out.copy_input(pos, n);
        if (in.bytes[pos] == 0x62)
            for (size_t i = 0; i < extra_bytes_per_wait; ++i) out.put(0x66);
        if (in.bytes[pos] == 0x66) break;
        pos += n;
    }
    r.size = finish_output(con, out, in, kLoopWarning);
    fclose(f);
    r.printed.assign(buf, len);
    free(buf);
    r.out.assign(out.bytes().begin(), out.bytes().end());
    return r;
}

}  // namespace

TEST(Writer, LoopPoint) {
    // No loop in the input: loop offset 0, no warning.
    {
        const ByteVec in = VgmBuilder().cmd({0x50, 1}).cmd({0x62}).end().build();
        const Rewrite r = copy_stream(image(in));
        EXPECT_EQ(r.printed, "");
        EXPECT_EQ(load_le32(r.out, 0x1C), 0u);
        EXPECT_EQ(r.out, in);
    }
    // A loop at the first command: data start - 0x1C.
    {
        const ByteVec in = VgmBuilder(0x151, 0x100).loop_here().cmd({0x50, 1}).cmd({0x62}).end().build();
        const Rewrite r = copy_stream(image(in));
        EXPECT_EQ(r.printed, "");
        EXPECT_EQ(load_le32(r.out, 0x1C), 0x100u - 0x1C);
    }
    // A loop offset inside a command is lost: warning, loop offset 0.
    {
        VgmBuilder b;
        b.cmd({0x50, 1}).cmd({0x62}).end();
        ByteVec in = b.build();
        store_le32(in, 0x1C, 0x81 - 0x1C);
        const Rewrite r = copy_stream(image(in));
        EXPECT_EQ(r.printed, "Warning! Failed to relocate Loop Point!\n");
        EXPECT_EQ(load_le32(r.out, 0x1C), 0u);
    }
}

TEST(Writer, HeaderIsTheStoredOne) {
    // A version 1.01 file: the loader clears fields in its record, but the
    // output header is the file's own bytes.
    VgmBuilder b(0x101, 0x40);
    b.u32(0x24, 60).u32(0x18, 1234).u32(0x34, 0x4C).u32(0x38, 0x12345678).cmd({0x62}).end();
    const ByteVec in = b.build();
    const Rewrite r = copy_stream(image(in));
    EXPECT_EQ(r.out, in);
}

TEST(Writer, Gd3IsCarriedBehindTheStream) {
    VgmBuilder b;
    b.cmd({0x50, 1}).cmd({0x62}).end().gd3({"Tracks", "x", "Game"});  // data length 28
    const ByteVec in = b.build();
    const size_t stream_end = 0x80 + 4;
    ASSERT_EQ(in.size(), stream_end + 40);
    // The output stream is longer than the input: the buffer grows.
    const Rewrite r = copy_stream(image(in), 5);
    const size_t new_end = stream_end + 5;
    ASSERT_EQ(r.size, new_end + 40);
    ASSERT_EQ(r.out.size(), r.size);
    EXPECT_EQ(load_le32(r.out, 0x14), new_end - 0x14);
    EXPECT_EQ(load_le32(r.out, 0x04), new_end + 40 - 4);
    EXPECT_TRUE(std::equal(in.begin() + stream_end, in.end(), r.out.begin() + new_end));

    // A GD3 offset that does not lead to a tag keeps its stored value.
    ByteVec bad = in;
    bad[stream_end] = 'X';
    const Rewrite rb = copy_stream(image(bad));
    EXPECT_EQ(rb.size, stream_end);
    EXPECT_EQ(load_le32(rb.out, 0x14), load_le32(in, 0x14));
    EXPECT_EQ(load_le32(rb.out, 0x04), stream_end - 4);
}

TEST(Writer, Gd3LengthPastTheEnd) {
    VgmBuilder b;
    b.cmd({0x62}).end().gd3({"Track"});
    ByteVec in = b.build();
    const size_t tag = in.size() - 12 - 12;
    store_le32(in, tag + 8, 0x10000);
    const Rewrite r = copy_stream(image(in));
    ASSERT_EQ(r.out.size(), in.size());
    EXPECT_EQ(load_le32(r.out, tag + 8), 12u);
    EXPECT_EQ(load_le32(r.out, 0x04), in.size() - 4);
}

TEST(Writer, DataStartPastTheEnd) {
    ByteVec in = VgmBuilder().cmd({0x62}).end().build();
    store_le32(in, 0x34, 0x7FFFFFF0);
    const Rewrite r = copy_stream(image(in));
    // Nothing to walk; the output is the file's bytes, no larger.
    EXPECT_EQ(r.size, in.size());
    EXPECT_EQ(load_le32(r.out, 0x04), in.size() - 4);
}

TEST(Writer, CopiesGatherAndStayInside) {
    const ByteVec in = VgmBuilder().cmd({0x50, 1, 0x50, 2, 0x62}).end().build();
    const VgmImage img = image(in);
    OutputState out(img);
    out.copy_input(0x80, 2);
    out.copy_input(0x82, 2);
    EXPECT_EQ(out.write_pos(), 0x84u);  // gathered copies count at once
    out.put(0x70);
    out.copy_input(0x84, 2);              // runs one byte past the end
    out.copy_input(0x1000, 4);            // wholly outside
    out.append(ByteVec{0xAA});
    const ByteVec expected = {0x50, 1, 0x50, 2, 0x70, 0x62, 0x66, 0xAA};
    ASSERT_EQ(out.bytes().size(), 0x80 + expected.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.bytes().begin() + 0x80));
}

TEST(Output, Naming) {
    char p[] = "prog", a[] = "in.vgm", empty[] = "", named[] = "D:\\out\\a.vgm";
    char* with_empty[] = {p, a, empty, nullptr};
    char* with_name[] = {p, a, named, nullptr};
    EXPECT_EQ(output_name("./dir", "_frame.vgm", 2, with_empty, 2), "./dir_frame.vgm");
    EXPECT_EQ(output_name("song", "_frame.vgm", 3, with_empty, 2), "song_frame.vgm");
    EXPECT_EQ(output_name("song", "_frame.vgm", 3, with_name, 2), "D:\\out\\a.vgm");
    EXPECT_EQ(name_after_backslash("D:\\out\\a.vgm"), "a.vgm");
    EXPECT_EQ(name_after_backslash("out/a.vgm"), "out/a.vgm");
}
