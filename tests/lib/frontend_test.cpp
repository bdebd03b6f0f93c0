#include <gtest/gtest.h>

#include <cstdio>

#include "vgm/frontend.h"
#include "vgm/loader.h"
#include "vgm_builder.h"

using namespace vgm;

TEST(Frontend, TypedNameCleaning) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"'my song.vgz'\n", "my song.vgz"},
        {"'a'b'\n", "a'b"},
        {"'abc\n", "abc"},
        {"abc'\n", "abc'"},
        {"song.vgm  \r\n", "song.vgm  "},
        {"song\x01\x1f\n", "song"},
        {"\"q.vgm\"\n", "\"q.vgm\""},
        {"\n", ""},
        {"'\n", ""},
        {"caf\xc3\xa9\n", "caf\xc3\xa9"},
    };
    for (const auto& [typed, expected] : cases) EXPECT_EQ(clean_typed_name(typed), expected) << typed;
}

static std::string run_prompt(const std::string& typed, int argc, char** argv, std::string* printed) {
    FILE* in = tmpfile();
    fputs(typed.c_str(), in);
    rewind(in);
    char* buf = nullptr;
    size_t len = 0;
    FILE* out = open_memstream(&buf, &len);
    Console con{out, in};
    std::string name = obtain_file_name(con, argc, argv);
    fclose(out);
    *printed = std::string(buf, len);
    free(buf);
    fclose(in);
    return name;
}

TEST(Frontend, PromptAndArgument) {
    std::string printed;
    char prog[] = "p", arg[] = "'x.vgm'";
    char* argv[] = {prog, arg, nullptr};
    EXPECT_EQ(run_prompt("", 2, argv, &printed), "'x.vgm'");  // arguments are not unquoted
    EXPECT_EQ(printed, "File Name:\t'x.vgm'\n");
    EXPECT_EQ(run_prompt("'y.vgm'\n", 1, argv, &printed), "y.vgm");
    EXPECT_EQ(printed, "File Name:\t");
    EXPECT_EQ(run_prompt("", 1, argv, &printed), "");
    // A line longer than the 255-character buffer is cut, not overflowed.
    EXPECT_EQ(run_prompt(std::string(400, 'a') + "\n", 1, argv, &printed), std::string(255, 'a'));
}

TEST(Loader, BaseName) {
    EXPECT_EQ(base_name_of("song.vgz"), "song");
    EXPECT_EQ(base_name_of("./dir.old/song"), "./dir");
    EXPECT_EQ(base_name_of("song"), "song");
    EXPECT_EQ(base_name_of("a.b.vgm"), "a.b");
}

static VgmImage load(const testvgm::ByteVec& bytes, FixupProfile p) {
    auto img = image_from_bytes(bytes, p);
    EXPECT_TRUE(img.has_value());
    return img ? *img : VgmImage{};
}

TEST(Loader, OffsetsBecomeAbsolute) {
    testvgm::VgmBuilder b(0x151, 0x80);
    b.cmd({0x50, 0x00}).loop_here().cmd({0x62}).end().gd3({"t"});
    const auto bytes = b.build();
    const VgmImage img = load(bytes, FixupProfile::Short);
    EXPECT_EQ(img.file_size, bytes.size());
    EXPECT_EQ(img.header.eof(), bytes.size());
    EXPECT_EQ(img.data_start(), 0x80u);
    EXPECT_EQ(img.header.loop(), 0x82u);
    EXPECT_EQ(img.header.gd3(), 0x80u + 4);
    // The stored bytes keep their relative offsets.
    EXPECT_EQ(load_le32(img.bytes, 0x1C), 0x82u - 0x1C);
}

TEST(Loader, VersionFixUps) {
    // Version 1.01 with fields that only later versions have.
    testvgm::VgmBuilder old(0x101, 0x40);
    old.u32(0x10, 3579545).u32(0x24, 60).u16(0x28, 9).u8(0x2A, 16).u8(0x2B, 5).u32(0x2C, 7670453)
        .u32(0x30, 1).u32(0x34, 0x4C).u32(0x38, 2).end();
    const auto bytes = old.build();

    const VgmImage clearing = load(bytes, FixupProfile::FullClearing);
    EXPECT_EQ(clearing.header.u32(0x24), 60u);  // rate survives above 1.00
    EXPECT_EQ(clearing.header.u16(0x28), 0u);
    EXPECT_EQ(clearing.header.u8(0x2A), 0u);
    EXPECT_EQ(clearing.header.u8(0x2B), 5u);
    EXPECT_EQ(clearing.header.u32(0x2C), 0u);
    EXPECT_EQ(clearing.header.u32(0x30), 0u);
    EXPECT_EQ(clearing.data_start(), 0x40u);  // the data offset field is ignored before 1.50
    EXPECT_EQ(clearing.header.u32(0x38), 0u);

    const VgmImage copying = load(bytes, FixupProfile::FullCopying);
    EXPECT_EQ(copying.header.u32(0x2C), 3579545u);
    EXPECT_EQ(copying.header.u32(0x30), 3579545u);

    const VgmImage shrt = load(bytes, FixupProfile::Short);
    EXPECT_EQ(shrt.header.u32(0x2C), 7670453u);
    EXPECT_EQ(shrt.header.u16(0x28), 9u);
    EXPECT_EQ(shrt.header.u32(0x24), 60u);

    testvgm::VgmBuilder v100(0x100, 0x40);
    v100.u32(0x24, 50).end();
    EXPECT_EQ(load(v100.build(), FixupProfile::FullClearing).header.u32(0x24), 0u);
    EXPECT_EQ(load(v100.build(), FixupProfile::Short).header.u32(0x24), 50u);
}

TEST(Loader, HeaderEndDependsOnVersionAndProfile) {
    testvgm::VgmBuilder v150(0x150, 0x80);
    v150.u32(0x38, 1).u32(0x50, 3579545).end();
    const auto b150 = v150.build();
    EXPECT_EQ(load(b150, FixupProfile::Short).header.u32(0x50), 3579545u);
    EXPECT_EQ(load(b150, FixupProfile::Short).header.u32(0x38), 0u);
    EXPECT_EQ(load(b150, FixupProfile::ShortOld150).header.u32(0x50), 0u);
    EXPECT_EQ(load(b150, FixupProfile::ShortOld150).data_start(), 0x80u);

    testvgm::VgmBuilder v151(0x151, 0x80);
    v151.u32(0x50, 3579545).raw({0x12, 0x34, 0x56, 0x78}).end();  // stream bytes behind the header
    const VgmImage img = load(v151.build(), FixupProfile::FullClearing);
    EXPECT_EQ(img.header.u32(0x50), 3579545u);
    EXPECT_EQ(img.header.u32(0x80), 0u);

    testvgm::VgmBuilder zero_data(0x151, 0x40);
    zero_data.u32(0x34, 0).end();
    EXPECT_EQ(load(zero_data.build(), FixupProfile::Short).data_start(), 0x40u);
}

TEST(Loader, DamagedSizes) {
    testvgm::VgmBuilder b(0x151, 0x80);
    b.cmd({0x50, 0x00}).end();
    auto bytes = b.build();

    // EOF offset claims 4 GiB: the image holds only what exists.
    auto huge = bytes;
    store_le32(huge, 4, 0xFFFFFFFC);
    VgmImage img = load(huge, FixupProfile::Short);
    EXPECT_EQ(img.file_size, bytes.size());
    EXPECT_EQ(img.bytes.size(), bytes.size());

    // A file longer than its EOF offset is cut at the EOF position.
    auto longer = bytes;
    longer.insert(longer.end(), 100, 0xEE);
    EXPECT_EQ(load(longer, FixupProfile::Short).file_size, bytes.size());

    // Shorter than the header itself.
    const std::vector<uint8_t> tiny = {'V', 'g', 'm', ' ', 0x00, 0x10};
    img = load(tiny, FixupProfile::FullClearing);
    EXPECT_EQ(img.file_size, tiny.size());

    EXPECT_FALSE(image_from_bytes({'V', 'g', 'm'}, FixupProfile::Short).has_value());
    EXPECT_FALSE(image_from_bytes({'v', 'g', 'm', ' '}, FixupProfile::Short).has_value());
}
