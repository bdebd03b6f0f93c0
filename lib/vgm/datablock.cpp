#include "vgm/datablock.h"

#include <algorithm>

#include "vgm/cursor.h"

namespace vgm {

const BankBlock* DataBank::block_at(uint64_t offset) const {
    if (offset >= size) return nullptr;
    // The last block whose offset is not above `offset`; empty blocks share
    // their offset with the next one and are passed over.
    auto it = std::upper_bound(blocks.begin(), blocks.end(), offset,
                               [](uint64_t off, const BankBlock& b) { return off < b.offset; });
    while (it != blocks.begin()) {
        --it;
        if (offset < it->offset + it->length) return &*it;
    }
    return nullptr;
}

std::vector<uint8_t> DataBank::concatenate(Bytes file) const {
    std::vector<uint8_t> out;
    out.reserve(static_cast<size_t>(size));
    for (const BankBlock& b : blocks) {
        if (auto blk = read_data_block(file, b.pos)) out.insert(out.end(), blk->payload.begin(), blk->payload.end());
    }
    return out;
}

const BankBlock* DataBanks::add(const DataBlock& b) {
    if (b.kind() != BlockClass::Stream) return nullptr;
    DataBank& bank = banks_[b.type];
    BankBlock e;
    e.pos = b.pos;
    e.offset = bank.size;
    e.length = b.length();
    e.id = static_cast<uint32_t>(bank.blocks.size());
    bank.size += e.length;
    bank.blocks.push_back(e);
    return &bank.blocks.back();
}

DataBanks collect_banks(Bytes data, size_t start, WalkPolicy policy) {
    DataBanks banks;
    CommandCursor cur(data, start, WalkPolicy{policy.len_40_4e, UnknownByte::Skip});
    for (Command c; cur.next(c);) {
        if (c.op == cmd::kEnd) break;
        if (c.op == cmd::kDataBlock) {
            if (auto b = read_data_block(data, c.pos)) banks.add(*b);
        }
    }
    return banks;
}

}  // namespace vgm
