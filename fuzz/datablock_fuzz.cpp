// The command cursor and the data-block layer over any bytes: every command
// and block lies inside the data, bank offsets add up, and block_at finds
// the block that holds an offset.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "vgm/cursor.h"
#include "vgm/datablock.h"
#include "vgm_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const vgm::Bytes bytes(data, size);
    vgm::DataBanks banks;
    vgm::CommandCursor cur(bytes, 0, vgm::kLongReservedSilent);
    size_t walked = 0;
    for (vgm::Command c; cur.next(c);) {
        if (c.pos != walked || c.end() > size || c.len == 0) std::abort();
        walked = c.end();
        if (c.op != vgm::cmd::kDataBlock) continue;
        const auto b = vgm::read_data_block(bytes, c.pos);
        if (!b || b->command_length() != c.len) std::abort();
        if (b->is_ram_write() && b->ram_data().size() + b->address_width() != b->length() && !b->ram_data().empty())
            std::abort();
        banks.add(*b);
    }
    if (cur.pos() != walked || (!cur.cut_off() && walked != size)) std::abort();
    for (unsigned t = 0; t < vgm::block::kBankCount; ++t) {
        const vgm::DataBank& bank = banks[static_cast<uint8_t>(t)];
        uint64_t off = 0;
        for (const vgm::BankBlock& b : bank.blocks) {
            if (b.offset != off) std::abort();
            if (b.length != 0 && bank.block_at(b.offset + b.length - 1) != &b) std::abort();
            off += b.length;
        }
        if (off != bank.size || bank.concatenate(bytes).size() != bank.size) std::abort();
    }
    return 0;
}

std::vector<std::vector<uint8_t>> fuzz_seeds() {
    return {{0x67, 0x66, 0x00, 3, 0, 0, 0, 1, 2, 3, 0x67, 0x66, 0xC1, 0x04, 0, 0, 0x80, 0x00, 0x10, 7, 8,
             0x45, 1, 0x67, 0x66, 0x00, 0, 0, 0, 0, 0x66}};
}
