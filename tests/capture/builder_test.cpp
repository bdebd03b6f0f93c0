#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>

#include "capture/builder.h"
#include "capture_vgm.h"
#include "tool_runner.h"

using namespace capture;
using testvgm::ByteVec;
using testvgm::le32_at;

static ByteVec bytes_of(const VgmFileBuilder& b) { return ByteVec(b.file().begin(), b.file().end()); }

TEST(VgmFileBuilder, EmptyFileIsHeaderAndEnd) {
    VgmFileBuilder b;
    b.header().set_u32(vgm::hdr::kTotalSamples, 1234);
    b.finish(false);
    const ByteVec f = bytes_of(b);
    ASSERT_EQ(f.size(), 129u);
    ByteVec expected(128, 0);
    const uint8_t fields[][5] = {
        {0x00, 'V', 'g', 'm', ' '}, {0x04, 0x7D, 0, 0, 0}, {0x08, 0x51, 0x01, 0, 0},
        {0x18, 0xD2, 0x04, 0, 0},   {0x34, 0x4C, 0, 0, 0},
    };
    for (const auto& fld : fields) std::copy(fld + 1, fld + 5, expected.begin() + fld[0]);
    expected.push_back(0x66);
    EXPECT_EQ(f, expected);
}

TEST(VgmFileBuilder, LoopCoversWholeSong) {
    VgmFileBuilder b;
    b.register_write(kYm3812, 0x20, 0x01);
    b.wait_up_to(500);
    b.header().set_u32(vgm::hdr::kTotalSamples, b.samples_written());
    b.finish(true);
    const ByteVec f = bytes_of(b);
    EXPECT_EQ(le32_at(f, 0x1C), 0x64u);
    EXPECT_EQ(le32_at(f, 0x20), 500u);
    EXPECT_EQ(le32_at(f, 0x18), 500u);
    EXPECT_EQ(testvgm::read_capture_vgm(f).script, "5A:20=01 w500");
}

TEST(VgmFileBuilder, WaitsAreRunsOf0x61UpToTheTarget) {
    VgmFileBuilder b;
    b.wait_up_to(70000);
    EXPECT_EQ(b.samples_written(), 70000u);
    b.wait_up_to(70000);  // not ahead: nothing
    b.wait_up_to(100);    // behind: nothing, and the count stays
    EXPECT_EQ(b.samples_written(), 70000u);
    b.append_samples(65535);
    b.append_samples(0);
    b.wait_up_to(135536);
    EXPECT_EQ(b.samples_written(), 135536u);
    const ByteVec f = bytes_of(b);
    const ByteVec stream(f.begin() + 0x80, f.end());
    EXPECT_EQ(stream, (ByteVec{0x61, 0xFF, 0xFF, 0x61, 0x71, 0x11, 0x61, 0xFF, 0xFF, 0x61, 0x01, 0x00}));
}

TEST(VgmFileBuilder, GrowsPastItsFirstAllocation) {
    VgmFileBuilder b(16);
    for (int i = 0; i < 100000; ++i) {
        b.register_write(kYmf262Port1, static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8));
        b.wait_up_to(static_cast<uint32_t>(i) * 3);
    }
    b.header().set_u32(vgm::hdr::kTotalSamples, b.samples_written());
    b.finish(false);
    const auto r = testvgm::read_capture_vgm(bytes_of(b));
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.writes.size(), 100000u);
    EXPECT_EQ(r.samples, 99999u * 3);
    EXPECT_EQ(r.writes[99999], (ByteVec{0x5F, 0x9F, 0x86}));
}

TEST(VgmFileBuilder, FloatToU32TakesTheIntegerPart) {
    EXPECT_EQ(float_to_u32(0.0f), 0u);
    EXPECT_EQ(float_to_u32(0.99f), 0u);
    EXPECT_EQ(float_to_u32(-3.0f), 0u);
    EXPECT_EQ(float_to_u32(441.9f), 441u);
    EXPECT_EQ(float_to_u32(4294967040.0f), 4294967040u);
    // Beyond 32 bits the low 32 bits of the integer part remain.
    EXPECT_EQ(float_to_u32(4294967296.0f * 3 + 2048.0f), 2048u);
}

TEST(VgmFileBuilder, OutputName) {
    const std::vector<std::tuple<std::string, const char*, std::string>> cases = {
        {"song.dro", nullptr, "song.vgm"},
        {"song.dro", "", "song.vgm"},
        {"song.dro", "out.bin", "out.bin"},
        {"a.b.imf", nullptr, "a.b.vgm"},
        {"noext", nullptr, "noext.vgm"},
        {"dir.x/noext", nullptr, "dir.vgm"},  // the last '.' anywhere in the name
    };
    for (const auto& [in, given, expected] : cases) EXPECT_EQ(vgm_output_name(in, given), expected) << in;
}

static std::string run_write(const std::string& path, int* rc) {
    char* buf = nullptr;
    size_t len = 0;
    FILE* out = open_memstream(&buf, &len);
    vgm::Console con{out, stdin};
    const uint8_t data[] = {1, 2, 3};
    *rc = write_vgm_file(con, path, data);
    std::fclose(out);
    std::string s(buf, len);
    std::free(buf);
    return s;
}

TEST(VgmFileBuilder, WriteReportsSuccessAndFailure) {
    testvgm::TempDir dir;
    int rc = -1;
    EXPECT_EQ(run_write(dir.file("x.vgm"), &rc), "File written.\n");
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(dir.read("x.vgm"), (ByteVec{1, 2, 3}));

    const std::string missing = dir.file("no/such/dir.vgm");
    EXPECT_EQ(run_write(missing, &rc), "Error writing " + missing + "!\n");
    EXPECT_NE(rc, 0);
    EXPECT_EQ(dir.list(), std::vector<std::string>{"x.vgm"});
}
