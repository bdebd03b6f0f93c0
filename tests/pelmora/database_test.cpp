// Step 2 of pelmora: the indexed database gives exactly what comparing every
// block with every entry gives, on streams built to be full of equal data,
// prefixes of other data and common beginnings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "fixtures.h"
#include "pelmora.h"

using namespace pelfix;

namespace {

constexpr size_t kStart = 0x80;

struct RefEntry {
    int chip;
    ByteVec data;
    uint32_t uses = 0;
};
struct RefUse {
    uint32_t entry;
    size_t pos;
    uint32_t start, length;
};

// The database the slow way: every block against every entry, in order.
void reference(const ByteVec& image, std::vector<RefEntry>& entries, std::vector<RefUse>& uses) {
    for (size_t pos = kStart; pos < image.size() && image[pos] == 0x67;) {
        const uint8_t type = image[pos + 2];
        const uint32_t size = image[pos + 3] | (image[pos + 4] << 8) | (image[pos + 5] << 16);
        const int chip = pelmora::chip_of_ram_block(type);
        const size_t w = type >= 0xE0 ? 4 : 2;
        const uint32_t start = w == 4 ? image[pos + 7] | (image[pos + 8] << 8) | (image[pos + 9] << 16)
                                      : image[pos + 7] | (image[pos + 8] << 8);
        const ByteVec data(image.begin() + pos + 7 + w, image.begin() + pos + 7 + size);
        bool matched = false;
        for (uint32_t e = 0; e < entries.size(); ++e) {
            RefEntry& r = entries[e];
            const size_t n = std::min(r.data.size(), data.size());
            if (r.chip != chip || !std::equal(data.begin(), data.begin() + n, r.data.begin())) continue;
            matched = true;
            if (r.data.size() < data.size()) r.data = data;
            uses.push_back({e, pos, start, static_cast<uint32_t>(data.size())});
            ++r.uses;
        }
        if (!matched) {
            entries.push_back({chip, data, 1});
            uses.push_back({static_cast<uint32_t>(entries.size() - 1), pos, start, static_cast<uint32_t>(data.size())});
        }
        pos += 7 + size;
    }
}

void expect_same(const ByteVec& image) {
    std::vector<RefEntry> ref;
    std::vector<RefUse> ref_uses;
    reference(image, ref, ref_uses);
    const pelmora::Database db = pelmora::build_database(image, kStart);
    ASSERT_EQ(db.entries.size(), ref.size());
    uint64_t total = 0;
    uint32_t single = 0;
    for (size_t i = 0; i < ref.size(); ++i) {
        const pelmora::PcmBlock& p = db.entries[i];
        EXPECT_EQ(p.chip, ref[i].chip) << i;
        ASSERT_EQ(p.length, ref[i].data.size()) << i;
        EXPECT_TRUE(std::equal(ref[i].data.begin(), ref[i].data.end(),
                               image.begin() + static_cast<ptrdiff_t>(p.data_pos)))
            << i;
        EXPECT_EQ(p.use_count, ref[i].uses) << i;
        EXPECT_EQ(p.single_use, ref[i].uses == 1) << i;
        total += p.length;
        single += ref[i].uses == 1;
    }
    EXPECT_EQ(db.byte_total, total);
    EXPECT_EQ(db.single_use_count, single);
    // Every use is counted; the first of each block is kept.
    EXPECT_EQ(db.use_total, ref_uses.size());
    std::vector<RefUse> first;
    for (const RefUse& u : ref_uses)
        if (first.empty() || first.back().pos != u.pos) first.push_back(u);
    ASSERT_EQ(db.uses.size(), first.size());
    for (size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(db.uses[i].entry, first[i].entry) << i;
        EXPECT_EQ(db.uses[i].pos, first[i].pos) << i;
        EXPECT_EQ(db.uses[i].start, first[i].start) << i;
        EXPECT_EQ(db.uses[i].length, first[i].length) << i;
    }
}

}  // namespace

TEST(PelmoraDatabase, IndexedLookupMatchesComparingEveryEntry) {
    std::mt19937 rng(7);
    // A few source strings; blocks are prefixes of them (and some variants
    // that differ at one byte), so that equal data, prefixes, extensions and
    // common beginnings of different entries all occur, at every length
    // across the index's levels.
    std::vector<ByteVec> sources;
    for (int i = 0; i < 6; ++i) sources.push_back(pattern(3000, static_cast<uint32_t>(i % 3)));
    for (int i = 3; i < 6; ++i) sources[static_cast<size_t>(i)][static_cast<size_t>(5 + 40 * i)] ^= 0x5A;
    sources.push_back(ByteVec(3000, 0));  // silence: shares every short prefix
    const uint8_t types[] = {0xC0, 0xC1, 0xE0};
    for (int round = 0; round < 20; ++round) {
        ByteVec image(kStart, 0);
        // Some rounds start each chip with an empty block: an entry of
        // length 0, which every later block of the chip matches.
        if (round % 3 == 1)
            for (uint8_t t : types) image = cat({image, ram(t, 0, {})});
        const int blocks = 50 + static_cast<int>(rng() % 200);
        for (int b = 0; b < blocks; ++b) {
            const ByteVec& s = sources[rng() % sources.size()];
            const uint32_t lengths[] = {0, 1, 2, 7, 8, 9, 15, 16, 17, 31, 33, 64, 100, 257, 1000, 2999, 3000};
            uint32_t len = rng() % 3 == 0 ? lengths[rng() % 17] : rng() % 3001;
            const ByteVec data(s.begin(), s.begin() + len);
            const ByteVec blk = ram(types[round % 4 == 0 ? rng() % 3 : 1], rng() % 0x8000, data);
            image.insert(image.end(), blk.begin(), blk.end());
        }
        image.push_back(0x66);
        SCOPED_TRACE(round);
        expect_same(image);
    }
}

TEST(PelmoraDatabase, PrefixesJoinAndExtendEntries) {
    const ByteVec a = pattern(100, 1);
    const ByteVec b = pattern(100, 2);
    // 100 bytes; its first 50 (a use of it); b; a 30-byte beginning shared by
    // nothing; then the first 50 of a as RF5C164 data (another chip).
    const ByteVec image = cat({ByteVec(kStart, 0), ram(0xC0, 0, a), ram(0xC0, 0x100, ByteVec(a.begin(), a.begin() + 50)),
                               ram(0xC0, 0x200, b), ram(0xC1, 0, ByteVec(a.begin(), a.begin() + 50)), {0x66}});
    const pelmora::Database db = pelmora::build_database(image, kStart);
    ASSERT_EQ(db.entries.size(), 3u);
    EXPECT_EQ(db.entries[0].use_count, 2u);
    EXPECT_EQ(db.entries[0].length, 100u);
    EXPECT_EQ(db.entries[2].chip, pelmora::kRf5c164);
    EXPECT_EQ(db.byte_total, 250u);
    EXPECT_EQ(db.single_use_count, 2u);
    EXPECT_EQ(db.use_total, 4u);
    ASSERT_EQ(db.uses.size(), 4u);
    EXPECT_EQ(db.uses[1].length, 50u);
    EXPECT_EQ(db.uses[1].start, 0x100u);
}
