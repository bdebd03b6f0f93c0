// Step 2: the block database.
//
// A block matches an entry of its chip when the shorter of the two begins
// the other, and it is a use of every entry it matches, in index order. To
// find those entries without comparing the block with every entry, entries
// are indexed by prefixes of their data at a ladder of lengths
// 0, 1, ..., 8, 16, 32, 64, ... (level j has length len(j)):
//
//   prefix index  level j: every entry at least len(j) long, keyed by its
//                 first len(j) bytes (an entry is added to a level when it
//                 first reaches its length; its prefix never changes after);
//   band index    every entry once, keyed by its first len(j) bytes, where j
//                 is the highest level its length reaches.
//
// For a block of length L at level J (len(J) <= L < len(J + 1)), an entry
// that matches is either shorter than len(J), so that the block begins with
// all of it, and it sits in the band index under its own level with the
// block's prefix of that length; or at least len(J) long, so that it shares
// the block's first len(J) bytes and sits in the prefix index at level J.
// The lookups give a superset of the matches (keys are hashes); every
// candidate is confirmed by comparing bytes, so the result is exactly that
// of comparing the block with every entry.
#include <algorithm>
#include <bit>
#include <cstring>
#include <unordered_map>

#include "pelmora.h"
#include "vgm/cursor.h"

namespace pelmora {

namespace {

constexpr int kByteLevels = 8;   // levels 0-8 are the lengths 0-8
constexpr int kLevelCount = 9 + 28;  // then 16, 32, ..., 2^32

constexpr uint64_t level_length(int j) { return j <= kByteLevels ? static_cast<uint64_t>(j) : 8ull << (j - 8); }

constexpr int level_of(uint32_t len) {
    if (len <= kByteLevels) return static_cast<int>(len);
    return kByteLevels + (std::bit_width(len) - 4);
}

uint64_t mix(uint64_t x) {
    x ^= x >> 30;
    x *= 0xBF58476D1CE4E5B9ull;
    x ^= x >> 27;
    x *= 0x94D049BB133111EBull;
    x ^= x >> 31;
    return x;
}

using Hashes = std::array<uint64_t, kLevelCount>;

// Hashes of the first len(j) bytes of `d` for j = 0 .. level_of(d.size()).
// Up to 8 bytes the bytes themselves are the value; beyond, 8-byte words
// are folded in.
void prefix_hashes(const uint8_t* d, uint32_t len, Hashes& h) {
    uint64_t v = 0;
    const uint32_t direct = std::min<uint32_t>(len, kByteLevels);
    h[0] = 0;
    for (uint32_t i = 0; i < direct; ++i) {
        v |= static_cast<uint64_t>(d[i]) << (8 * i);
        h[i + 1] = v;
    }
    const int top = level_of(len);
    uint64_t acc = v;
    uint64_t off = kByteLevels;
    for (int j = kByteLevels + 1; j <= top; ++j) {
        const uint64_t end = level_length(j);
        for (; off < end; off += 8) {
            uint64_t w;
            std::memcpy(&w, d + off, 8);
            acc = (std::rotl(acc, 23) ^ w) * 0x9E3779B97F4A7C15ull;
        }
        h[static_cast<size_t>(j)] = acc;
    }
}

uint64_t key(uint8_t chip, int level, uint64_t hash) {
    return mix(hash ^ mix((static_cast<uint64_t>(chip) << 8) | static_cast<uint64_t>(level)));
}

class EntryIndex {
public:
    void insert(uint32_t e, uint8_t chip, uint32_t len, const Hashes& h) {
        const int top = level_of(len);
        for (int j = 0; j <= top; ++j) prefix_[key(chip, j, h[static_cast<size_t>(j)])].push_back(e);
        band_[key(chip, top, h[static_cast<size_t>(top)])].push_back(e);
    }

    // Entry `e` grows from `old_len` to `new_len`; `h` are the hashes of its
    // new data (whose beginning is its old data).
    void grow(uint32_t e, uint8_t chip, uint32_t old_len, uint32_t new_len, const Hashes& h) {
        const int from = level_of(old_len);
        const int to = level_of(new_len);
        if (from == to) return;
        for (int j = from + 1; j <= to; ++j) prefix_[key(chip, j, h[static_cast<size_t>(j)])].push_back(e);
        auto& old_band = band_[key(chip, from, h[static_cast<size_t>(from)])];
        old_band.erase(std::find(old_band.begin(), old_band.end(), e));
        band_[key(chip, to, h[static_cast<size_t>(to)])].push_back(e);
    }

    // Entries that may match a block of `len` bytes with hashes `h`.
    void candidates(uint8_t chip, uint32_t len, const Hashes& h, std::vector<uint32_t>& out) const {
        const int top = level_of(len);
        for (int j = 0; j < top; ++j) add(band_, key(chip, j, h[static_cast<size_t>(j)]), out);
        add(prefix_, key(chip, top, h[static_cast<size_t>(top)]), out);
    }

private:
    using Map = std::unordered_map<uint64_t, std::vector<uint32_t>>;
    static void add(const Map& m, uint64_t k, std::vector<uint32_t>& out) {
        const auto it = m.find(k);
        if (it != m.end()) out.insert(out.end(), it->second.begin(), it->second.end());
    }

    Map prefix_;
    Map band_;
};

}  // namespace

Database build_database(vgm::Bytes image, size_t data_start) {
    Database db;
    db.uses.reserve(32768);
    EntryIndex index;
    Hashes h{};
    std::vector<uint32_t> cand;

    vgm::CommandCursor cur(image, data_start, kQuietWalk);
    for (vgm::Command c; cur.next(c);) {
        if (c.op == vgm::cmd::kEnd) break;
        if (c.op != vgm::cmd::kDataBlock) continue;
        RamBlock rb;
        if (!read_ram_block(image, c.pos, rb)) continue;
        const uint8_t chip = static_cast<uint8_t>(rb.chip);
        const uint8_t* data = image.data() + rb.data_pos;
        prefix_hashes(data, rb.length, h);

        cand.clear();
        index.candidates(chip, rb.length, h, cand);
        std::sort(cand.begin(), cand.end());
        cand.erase(std::unique(cand.begin(), cand.end()), cand.end());

        bool matched = false;
        for (const uint32_t e : cand) {
            PcmBlock& p = db.entries[e];
            if (p.chip != chip) continue;
            const uint32_t common = std::min(p.length, rb.length);
            if (std::memcmp(image.data() + p.data_pos, data, common) != 0) continue;
            if (p.length < rb.length) {
                db.byte_total += rb.length - p.length;
                index.grow(e, chip, p.length, rb.length, h);
                p.length = rb.length;
                p.data_pos = rb.data_pos;
            }
            if (!matched) db.uses.push_back({e, c.pos, rb.start, rb.length});
            matched = true;
            ++p.use_count;
            ++db.use_total;
        }
        if (!matched) {
            const auto e = static_cast<uint32_t>(db.entries.size());
            PcmBlock p;
            p.chip = chip;
            p.length = rb.length;
            p.data_pos = rb.data_pos;
            p.use_count = 1;
            db.entries.push_back(p);
            index.insert(e, chip, rb.length, h);
            db.byte_total += rb.length;
            db.uses.push_back({e, c.pos, rb.start, rb.length});
            ++db.use_total;
        }
    }
    for (PcmBlock& p : db.entries) {
        p.single_use = p.use_count == 1;
        if (p.single_use) ++db.single_use_count;
    }
    return db;
}

}  // namespace pelmora
