// The choice of each block's coding, and the table groups.
#include <algorithm>
#include <bit>

#include "vinsko.h"

namespace vinsko {

namespace {

using vgm::block::kBankCount;

constexpr size_t kMaxValues = 4096;  // 12-bit values

// Bits needed to write the numbers 0 to n - 1 (0 for n = 1).
uint8_t bits_for(size_t n) { return n <= 1 ? 0 : static_cast<uint8_t>(std::bit_width(n - 1)); }

// The distinct values of one block, ascending. False when the block holds a
// value too wide for its format or, for 16-bit words, an odd number of
// bytes: such a block is left as it is.
class ValueSet {
public:
    ValueSet() : seen_(kMaxValues, 0) {}

    bool collect(vgm::Bytes payload, uint8_t bits_decompressed) {
        list_.clear();
        bool ok = true;
        if (bits_decompressed <= 8) {
            for (const uint8_t x : payload) mark(x);
        } else if (payload.size() % 2 != 0) {
            ok = false;
        } else {
            const uint32_t limit = 1u << bits_decompressed;
            for (size_t i = 0; i + 1 < payload.size(); i += 2) {
                const uint32_t x = payload[i] | (payload[i + 1] << 8);
                if (x >= limit) {
                    ok = false;
                    break;
                }
                mark(static_cast<uint16_t>(x));
            }
        }
        for (const uint16_t v : list_) seen_[v] = 0;
        if (!ok) list_.clear();
        std::sort(list_.begin(), list_.end());
        return ok;
    }

    const std::vector<uint16_t>& values() const { return list_; }

private:
    void mark(uint16_t x) {
        if (!seen_[x]) {
            seen_[x] = 1;
            list_.push_back(x);
        }
    }

    std::vector<uint8_t> seen_;
    std::vector<uint16_t> list_;
};

// The current table group of one type: its values as a presence table, so
// that a block joins it at a cost in proportion to the block's own values.
class OpenGroup {
public:
    OpenGroup() : seen_(kMaxValues, 0) {}

    bool open() const { return index_ != kNoGroup; }
    uint32_t index() const { return index_; }
    uint8_t bits() const { return bits_; }

    // How many of `values` the group does not hold yet.
    size_t missing(const std::vector<uint16_t>& values) const {
        size_t n = 0;
        for (const uint16_t v : values) n += seen_[v] ? 0 : 1;
        return n;
    }
    size_t size() const { return values_.size(); }

    void start(uint32_t index, uint8_t bits) {
        index_ = index;
        bits_ = bits;
    }
    void add(const std::vector<uint16_t>& values) {
        for (const uint16_t v : values) {
            if (!seen_[v]) {
                seen_[v] = 1;
                values_.push_back(v);
            }
        }
    }
    // The final table of the group, ascending; the group is closed.
    void close(Plan& plan) {
        if (!open()) return;
        for (const uint16_t v : values_) seen_[v] = 0;
        std::sort(values_.begin(), values_.end());
        plan.groups[index_].values = std::move(values_);
        values_.clear();
        index_ = kNoGroup;
    }

private:
    std::vector<uint8_t> seen_;
    std::vector<uint16_t> values_;
    uint32_t index_ = kNoGroup;
    uint8_t bits_ = 0;
};

}  // namespace

void choose_params(Plan& plan) {
    ValueSet set;
    OpenGroup group;
    for (size_t t = 0; t < kBankCount; ++t) {
        const uint8_t type = static_cast<uint8_t>(t);
        const uint8_t bd = bits_decompressed_of(type);
        std::vector<PackParams>& params = plan.params[t];
        params.assign(plan.blocks[t].size(), PackParams{});
        for (size_t i = 0; i < plan.blocks[t].size(); ++i) {
            PackParams& p = params[i];
            p.bits_decompressed = bd;
            p.value_width = static_cast<uint8_t>(vgm::packing::value_width(bd));
            if (type == vgm::block::kLastStream) continue;
            if (!set.collect(plan.blocks[t][i].payload, bd)) continue;
            const std::vector<uint16_t>& values = set.values();
            const size_t n = values.size();
            if (n == 0) continue;
            const uint8_t bits = bits_for(n);
            if (bits > ((bd - 1) | 7)) continue;
            p.bits = bits;
            const uint32_t lo = values.front(), hi = values.back();
            const uint32_t span = 1u << bits;
            if (n == 1) {
                p.coding = Coding::Copy;
                p.add = static_cast<uint16_t>(lo);
                continue;
            }
            if (hi - lo < span) {
                p.coding = Coding::Copy;
                p.add = static_cast<uint16_t>(hi < span ? 0 : lo);
                continue;
            }
            const unsigned shift = bd - bits;
            if (shift >= 1) {
                const uint32_t low_mask = (1u << shift) - 1;
                const uint32_t low = lo & low_mask;
                if (std::all_of(values.begin(), values.end(), [&](uint16_t v) { return (v & low_mask) == low; })) {
                    p.coding = Coding::ShiftLeft;
                    p.add = static_cast<uint16_t>(low);
                    continue;
                }
            }
            p.coding = Coding::Table;
            if (group.open() && group.bits() == bits && group.size() + group.missing(values) <= span) {
                group.add(values);
                p.group = group.index();
                continue;
            }
            group.close(plan);
            const uint32_t index = static_cast<uint32_t>(plan.groups.size());
            plan.groups.push_back(TableGroup{type, bd, bits, {}});
            group.start(index, bits);
            group.add(values);
            p.group = index;
            p.writes_table = true;
        }
        group.close(plan);
    }
}

}  // namespace vinsko
