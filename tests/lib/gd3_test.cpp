#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "vgm/gd3.h"
#include "vgm_builder.h"

using namespace vgm;
using testvgm::ByteVec;

namespace {

// A file of `size` bytes with a "Vgm " signature and the tag block `tag`
// placed at absolute position `at` (the GD3 offset field pointing there).
ByteVec file_with_tag(size_t at, const ByteVec& tag, size_t size = 0) {
    ByteVec f(std::max(size, at + tag.size()), 0);
    f[0] = 'V', f[1] = 'g', f[2] = 'm', f[3] = ' ';
    std::copy(tag.begin(), tag.end(), f.begin() + static_cast<ptrdiff_t>(at));
    store_le32(f, 0x04, static_cast<uint32_t>(f.size() - 4));
    store_le32(f, 0x14, static_cast<uint32_t>(at - 0x14));
    return f;
}

ByteVec utf16(const std::u16string& s, bool terminate = true) {
    ByteVec out;
    for (char16_t c : s) out.push_back(static_cast<uint8_t>(c)), out.push_back(static_cast<uint8_t>(c >> 8));
    if (terminate) out.push_back(0), out.push_back(0);
    return out;
}

ByteVec tag_with_data(const ByteVec& data, uint32_t version = 0x100, uint32_t length = UINT32_MAX) {
    ByteVec t = {'G', 'd', '3', ' '};
    append_le32(t, version);
    append_le32(t, length == UINT32_MAX ? static_cast<uint32_t>(data.size()) : length);
    t.insert(t.end(), data.begin(), data.end());
    return t;
}

// Sets LC_CTYPE for one test and restores it afterwards.
class CtypeLocale {
public:
    explicit CtypeLocale(const char* name) : old_(std::setlocale(LC_CTYPE, nullptr)) {
        ok_ = std::setlocale(LC_CTYPE, name) != nullptr;
    }
    ~CtypeLocale() { std::setlocale(LC_CTYPE, old_.c_str()); }
    bool ok() const { return ok_; }

private:
    std::string old_;
    bool ok_ = false;
};

}  // namespace

TEST(Gd3, FindAndValidate) {
    const ByteVec tag = testvgm::gd3_block_ascii({"Title", "", "Game"});
    const ByteVec good = file_with_tag(0x80, tag);
    auto found = find_gd3(good);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->pos, 0x80u);
    EXPECT_EQ(found->length, tag.size() - 12);
    EXPECT_EQ(ByteVec(found->block.begin(), found->block.end()), tag);
    EXPECT_FALSE(found->cut_short());

    // GD3 offset 0: the tag-like bytes behind the stream are not a tag.
    ByteVec no_offset = good;
    store_le32(no_offset, 0x14, 0);
    EXPECT_FALSE(find_gd3(no_offset));
    // The magic is compared exactly, case included.
    ByteVec lower = good;
    lower[0x80] = 'g';
    EXPECT_FALSE(find_gd3(lower));
    ByteVec upper = good;
    upper[0x81] = 'D';
    EXPECT_FALSE(find_gd3(upper));
    // The 12-byte head must lie inside the file: position + 11 < size.
    const ByteVec head_only(tag.begin(), tag.begin() + 12);
    EXPECT_TRUE(find_gd3(file_with_tag(0x80, head_only)));
    ByteVec cut_head = file_with_tag(0x80, head_only);
    cut_head.pop_back();
    EXPECT_FALSE(find_gd3(cut_head));
    // A position past the end, or wrapping in 32 bits, is no tag.
    ByteVec wild = good;
    store_le32(wild, 0x14, 0xFFFFFFF0);
    EXPECT_FALSE(find_gd3(wild));
    EXPECT_FALSE(find_gd3_at(good, 0));
    EXPECT_FALSE(find_gd3(ByteVec(0x10, 0)));
}

TEST(Gd3, VersionIsNotChecked) {
    for (uint32_t version : {0x100u, 0u, 0xDEADBEEFu}) {
        const ByteVec tag = tag_with_data(utf16(u"Song"), version);
        const ByteVec file = file_with_tag(0x40, tag);
        auto found = find_gd3(file);
        ASSERT_TRUE(found) << version;
        EXPECT_EQ(load_le32(found->block, 4), version);
        EXPECT_EQ(gd3_title_units(*found), u"Song");
    }
}

TEST(Gd3, LengthPastTheEndIsCutShort) {
    const ByteVec data = utf16(u"Title");  // 12 bytes of string data
    const ByteVec tag = tag_with_data(data, 0x100, 0x1000);
    const ByteVec file = file_with_tag(0x40, tag);
    auto found = find_gd3(file);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->length, 0x1000u);
    EXPECT_TRUE(found->cut_short());
    EXPECT_EQ(found->block.size(), 12 + data.size());

    // Carried, the block keeps what exists and says so in its length field.
    std::vector<uint8_t> out = {1, 2, 3};
    EXPECT_EQ(append_gd3(out, *found), 3u);
    ASSERT_EQ(out.size(), 3 + 12 + data.size());
    EXPECT_EQ(load_le32(out, 3 + 8), data.size());
    EXPECT_TRUE(std::equal(data.begin(), data.end(), out.begin() + 15));
    EXPECT_EQ(gd3_title_units(*found), u"Title");

    // A huge length whose end wraps in 32 bits is cut the same way.
    const ByteVec wraps = tag_with_data(data, 0x100, 0xFFFFFFFF);
    const ByteVec wraps_file = file_with_tag(0x40, wraps);
    auto w = find_gd3(wraps_file);
    ASSERT_TRUE(w);
    EXPECT_EQ(w->block.size(), 12 + data.size());
}

TEST(Gd3, TitleUnits) {
    struct Case {
        const char* what;
        ByteVec data;
        uint32_t length;  // UINT32_MAX: the data size
        size_t file_extra;  // zero bytes after the block
        std::u16string title;
    };
    const std::vector<Case> cases = {
        {"first string", utf16(u"Abc"), UINT32_MAX, 0, u"Abc"},
        {"first unit zero", utf16(u""), UINT32_MAX, 0, u""},
        {"no zero unit: every unit within L", utf16(u"Abcd", false), UINT32_MAX, 0, u"Abcd"},
        {"L ends mid-string", utf16(u"Abcdef"), 6, 0, u"Abc"},
        {"odd L: the unit crossing it is read", utf16(u"Abcdef"), 5, 0, u"Abc"},
        {"L of 0 reads nothing", utf16(u"Abc"), 0, 0, u""},
        {"the end of the file stops it", utf16(u"Ab", false), 100, 0, u"Ab"},
        {"a half unit at the end is not read", ByteVec{'A', 0, 'B'}, 100, 0, u"A"},
        {"units are not combined", utf16(u"\xD83D\xDE00x"), UINT32_MAX, 0, u"\xD83D\xDE00x"},
    };
    for (const auto& c : cases) {
        ByteVec tag = tag_with_data(c.data, 0x100, c.length);
        ByteVec file = file_with_tag(0x40, tag, 0x40 + tag.size() + c.file_extra);
        auto found = find_gd3(file);
        ASSERT_TRUE(found) << c.what;
        EXPECT_EQ(gd3_title_units(*found), c.title) << c.what;
    }
    // With an odd L the crossing unit reaches one byte behind the block.
    ByteVec odd = tag_with_data({'A', 0, 'B'}, 0x100, 3);
    odd.push_back(0);
    const ByteVec odd_file = file_with_tag(0x40, odd);
    auto found = find_gd3(odd_file);
    ASSERT_TRUE(found);
    EXPECT_EQ(gd3_title_units(*found), u"AB");
}

TEST(Gd3, TitleConversionInUtf8) {
    CtypeLocale utf8("C.UTF-8");
    if (!utf8.ok()) GTEST_SKIP() << "no C.UTF-8 locale";
    // Seven ASCII characters: the same seven bytes.
    EXPECT_EQ(title_to_multibyte(u"Journey"), "Journey");
    // Seven characters of two bytes each: only three fit in seven bytes.
    EXPECT_EQ(title_to_multibyte(u"\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9\u00e9"), "\xc3\xa9\xc3\xa9\xc3\xa9");
    // Mixed: "a" + three two-byte characters in four bytes: a, then one more.
    EXPECT_EQ(title_to_multibyte(u"a\u00e9\u00e9\u00e9"), "a\xc3\xa9");
    // A lone surrogate cannot be represented: conversion stops before it.
    EXPECT_EQ(title_to_multibyte(u"ab\xD800" u"cd"), "ab");
    EXPECT_EQ(title_to_multibyte(u""), "");

    const ByteVec file = file_with_tag(0x40, testvgm::gd3_block_ascii({"Stage 1", "x", "Game"}));
    EXPECT_EQ(read_gd3_title(file), "Stage 1");
    EXPECT_EQ(read_gd3_title(file_with_tag(0x40, testvgm::gd3_block_ascii({"", "Other"}))), "");
}

TEST(Gd3, TitleConversionInTheCLocale) {
    CtypeLocale c("C");
    ASSERT_TRUE(c.ok());
    EXPECT_EQ(title_to_multibyte(u"Plain"), "Plain");
    // Whatever the C locale does with a character above 0x7F, the result
    // never holds more bytes than the title has characters.
    EXPECT_LE(title_to_multibyte(u"x\u00e9\u4e00y").size(), 4u);
}

TEST(Gd3, AttachKeepsEverythingBeforeTheOldTag) {
    // Destination with its tag at 0x1014 (GD3 offset 0x1000), source tag of
    // length 0x64 with version 0 (kept as it is).
    ByteVec dest(0x1014 + 0x30, 0xAB);
    store_le32(dest, 0x04, static_cast<uint32_t>(dest.size() - 4));
    store_le32(dest, 0x14, 0x1000);
    ByteVec src = tag_with_data(ByteVec(0x64, 0x41), 0);
    std::vector<uint8_t> out;
    ASSERT_TRUE(attach_gd3(dest, src, out));
    ASSERT_EQ(out.size(), 0x1084u);
    EXPECT_EQ(load_le32(out, 0x14), 0x1000u);
    EXPECT_EQ(load_le32(out, 0x04), 0x1080u);
    // Only the two offset fields of the kept part change.
    for (size_t i = 0; i < 0x1014; ++i) {
        if ((i >= 4 && i < 8) || (i >= 0x14 && i < 0x18)) continue;
        ASSERT_EQ(out[i], dest[i]) << i;
    }
    EXPECT_TRUE(std::equal(src.begin(), src.end(), out.begin() + 0x1014));
    EXPECT_EQ(load_le32(out, 0x1014 + 4), 0u);
}

TEST(Gd3, AttachWithoutOldTag) {
    // No tag, EOF offset 0x2000: the declared 0x2004 bytes are kept and
    // anything behind them is dropped.
    ByteVec dest(0x2004 + 0x10, 0x11);
    store_le32(dest, 0x04, 0x2000);
    store_le32(dest, 0x14, 0);
    const ByteVec src = testvgm::gd3_block_ascii({"T"});
    std::vector<uint8_t> out;
    ASSERT_TRUE(attach_gd3(dest, src, out));
    EXPECT_EQ(out.size(), 0x2004 + src.size());
    EXPECT_EQ(load_le32(out, 0x14), 0x1FF0u);
    EXPECT_EQ(load_le32(out, 0x04), out.size() - 4);
    EXPECT_TRUE(std::equal(src.begin(), src.end(), out.begin() + 0x2004));

    // A file shorter than it declares keeps only what it has.
    ByteVec shorter(0x100, 0x22);
    store_le32(shorter, 0x04, 0x2000);
    store_le32(shorter, 0x14, 0);
    ASSERT_TRUE(attach_gd3(shorter, src, out));
    EXPECT_EQ(out.size(), 0x100 + src.size());
    EXPECT_EQ(load_le32(out, 0x14), 0x100u - 0x14);
    EXPECT_EQ(load_le32(out, 0x04), out.size() - 4);

    // Nothing to attach to, or nothing to attach: refused, out untouched.
    out = {9};
    EXPECT_FALSE(attach_gd3(ByteVec(0x10, 0), src, out));
    EXPECT_FALSE(attach_gd3(dest, ByteVec(11, 0), out));
    EXPECT_EQ(out, std::vector<uint8_t>{9});
}
