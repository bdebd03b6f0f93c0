// Step 1: runs of memory writes and RAM-write blocks become RAM-write blocks.
//
// A run is opened by the first memory write or RAM-write block of a chip
// that no run holds yet. Its bytes are gathered ahead (collect_run) into the
// chip's memory image and written out at once, at the place of the opening
// command, as RAM-write blocks with absolute start addresses; the run's later
// writes are then taken out of the stream as the walk meets them (the run's
// remaining byte count says how many are still to come). Since the blocks
// carry absolute addresses, the output keeps RF bank 0 selected: the chip's
// first bank select stays with its bank bits cleared, later ones go.
#include <algorithm>
#include <cstring>

#include "pelmora.h"
#include "stream_out.h"
#include "vgm/cursor.h"
#include "vgm/datablock.h"
#include "vgm/gd3.h"
#include "vgm/header.h"

namespace pelmora {

namespace {

constexpr uint8_t kControlRegister = 0x07;
constexpr uint8_t kChannelSelect = 0x40;  // register 7: bit 6 set selects a channel, not a bank
constexpr uint8_t kChipEnable = 0x80;     // register 7: bit 7 turns the chip on
constexpr uint32_t kChunk = 0x1000;       // bytes per block when a run came in blocks

struct ChipState {
    vgm::RfBankBase bank;
    bool first_select_pending = true;
    uint8_t out_control = 0;  // register 7 as the output last wrote it
    uint32_t run_remaining = 0;
    std::vector<uint8_t> memory;
};

// Appends one RAM-write block of `chip` at absolute address `addr`.
void put_ram_block(StreamOut& out, int chip, uint32_t addr, vgm::Bytes data) {
    const RamChip& k = kRamChips[static_cast<size_t>(chip)];
    std::vector<uint8_t>& b = out.buffer();
    const auto h = vgm::data_block_header(k.block_type, static_cast<uint32_t>(data.size()) + k.address_width);
    b.insert(b.end(), h.begin(), h.end());
    if (k.address_width == 4)
        vgm::append_le32(b, addr);
    else
        vgm::append_le16(b, static_cast<uint16_t>(addr));
    b.insert(b.end(), data.begin(), data.end());
}

uint32_t absolute_start(const ChipState& s, const RamBlock& rb) {
    return rb.chip == kScsp ? rb.start : s.bank.address(rb.start);
}

}  // namespace

bool read_ram_block(vgm::Bytes data, size_t pos, RamBlock& out) {
    const auto b = vgm::read_data_block(data, pos);
    if (!b) return false;
    const int chip = chip_of_ram_block(b->type);
    if (chip < 0) return false;
    const uint32_t width = kRamChips[static_cast<size_t>(chip)].address_width;
    if (b->length() < width) return false;
    out.chip = chip;
    out.start = width == 4 ? vgm::load_le32(b->payload, 0) : vgm::load_le16(b->payload, 0);
    out.data_pos = pos + vgm::cmd::kDataBlockHeaderSize + width;
    out.length = b->length() - width;
    return true;
}

uint32_t collect_run(vgm::Bytes data, size_t pos, int chip, uint32_t bank_base, std::vector<uint8_t>& memory,
                     size_t stop_at) {
    const RamChip& k = kRamChips[static_cast<size_t>(chip)];
    bool have_expected = false;
    uint32_t expected = 0;
    uint32_t count = 0;
    vgm::CommandCursor cur(data, pos, kQuietWalk);
    for (vgm::Command c; cur.next(c);) {
        if (c.op == vgm::cmd::kEnd) break;
        if (stop_at != 0 && c.pos == stop_at && c.pos != pos) break;
        if (k.reg_cmd != 0 && c.op == k.reg_cmd) break;
        if (k.mem_cmd != 0 && c.op == k.mem_cmd) {
            const uint32_t addr = (bank_base + vgm::load_le16(c.bytes, 1)) % k.memory_size;
            if (have_expected && addr != expected) break;
            memory[addr] = c.arg(3);
            ++count;
            expected = addr + 1;
            have_expected = true;
        } else if (c.op == vgm::cmd::kDataBlock && c.arg(2) == k.block_type) {
            RamBlock rb;
            if (!read_ram_block(data, c.pos, rb)) break;
            const uint32_t addr = chip == kScsp ? rb.start : (bank_base + rb.start) % k.memory_size;
            // A block that reaches past the end of the memory is left as it
            // stands; it ends the run.
            if (addr >= k.memory_size || rb.length > k.memory_size - addr) break;
            if (have_expected && addr != expected) break;
            std::memcpy(memory.data() + addr, data.data() + rb.data_pos, rb.length);
            count += rb.length;
            expected = addr + rb.length;
            have_expected = true;
        }
        if (have_expected && expected >= k.memory_size) break;
    }
    return count;
}

MergeResult merge_writes(vgm::Console& con, const vgm::VgmImage& in) {
    MergeResult r;
    const vgm::Bytes data = in.data();
    const size_t size = data.size();
    const size_t start = in.data_start();
    const size_t head = std::min(start, size);
    const uint32_t loop = in.header.loop();

    std::array<ChipState, kChipCount> st;
    for (size_t i = 0; i < kChipCount; ++i) st[i].memory.assign(kRamChips[i].memory_size, 0);

    StreamOut out(data, size + 0x10000);
    out.copy(0, head);
    size_t loop_pos = 0;
    bool warned = false;
    bool ended = false;

    vgm::CommandCursor cur(data, start, kMergeWalk, &con);
    for (vgm::Command c; cur.next(c);) {
        const size_t before = out.size();
        bool copied = true;     // the command, or what stands in for it, begins at `before`
        const uint8_t op = c.op;

        if (op == 0xB0 || op == 0xB1) {
            ChipState& s = st[op - 0xB0];
            const uint8_t reg = c.arg(1);
            const uint8_t val = c.arg(2);
            if (reg == kControlRegister && (val & kChannelSelect) == 0) {
                s.bank.on_register(reg, val);
                const uint8_t kept = val & 0xF0;
                // Later bank selects are dropped, unless one also switches the
                // chip on or off: that one stays, with its bank bits cleared.
                if (s.first_select_pending || ((kept ^ s.out_control) & kChipEnable) != 0) {
                    s.first_select_pending = false;
                    s.out_control = kept;
                    out.put(op);
                    out.put(reg);
                    out.put(kept);
                } else {
                    copied = false;
                }
            } else {
                if (reg == kControlRegister) s.out_control = val;
                out.copy(c.pos, c.len);
            }
        } else if (op == 0xC1 || op == 0xC2) {
            const int chip = op - 0xC1;
            ChipState& s = st[static_cast<size_t>(chip)];
            ++r.pcm_writes;
            if (s.run_remaining != 0) {
                --s.run_remaining;
                copied = false;
            } else {
                const uint32_t n = collect_run(data, c.pos, chip, s.bank.base(), s.memory, loop);
                const uint32_t addr = s.bank.address(vgm::load_le16(c.bytes, 1));
                if (n < 2) {
                    if (!warned) {
                        con.print("%s", vgm::kClearLine);
                        con.line("Warning! Single Memory Writes left!");
                        warned = true;
                    }
                    // Bank 0 stays selected in the output: the write names
                    // its absolute address (the same bytes under bank 0).
                    out.put(op);
                    out.put(static_cast<uint8_t>(addr));
                    out.put(static_cast<uint8_t>(addr >> 8));
                    out.put(c.arg(3));
                } else {
                    put_ram_block(out, chip, addr, vgm::Bytes(s.memory).subspan(addr, n));
                    s.run_remaining = n - 1;
                }
            }
        } else if (op == vgm::cmd::kDataBlock && chip_of_ram_block(c.arg(2)) >= 0) {
            ++r.pcm_writes;
            RamBlock rb;
            if (!read_ram_block(data, c.pos, rb)) {
                // Too short to hold its start address: nothing to merge.
                out.copy(c.pos, c.len);
            } else {
                ChipState& s = st[static_cast<size_t>(rb.chip)];
                if (s.run_remaining != 0) {
                    s.run_remaining -= std::min(s.run_remaining, rb.length);
                    copied = false;
                } else {
                    const uint32_t n = collect_run(data, c.pos, rb.chip, s.bank.base(), s.memory, loop);
                    const uint32_t addr = absolute_start(s, rb);
                    if (n < 2) {
                        if (addr == rb.start)
                            out.copy(c.pos, c.len);
                        else
                            put_ram_block(out, rb.chip, addr, data.subspan(rb.data_pos, rb.length));
                    } else {
                        for (uint32_t a = addr, left = n; left != 0;) {
                            const uint32_t chunk = std::min(left, kChunk);
                            put_ram_block(out, rb.chip, a, vgm::Bytes(s.memory).subspan(a, chunk));
                            a += chunk;
                            left -= chunk;
                        }
                        s.run_remaining = n - std::min(n, rb.length);
                    }
                }
            }
        } else if (op == vgm::cmd::kPcmRamWrite) {
            con.print("%s", vgm::kClearLine);
            con.line("VGM already optimized!");
            r.already_optimized = true;
            return r;
        } else {
            out.copy(c.pos, c.len);
            if (op == vgm::cmd::kEnd) ended = true;
        }

        if (loop != 0 && c.pos == loop) loop_pos = copied ? before : out.size();
        if (ended) break;
    }
    size_t end_pos = cur.pos();
    if (cur.cut_off()) {
        // A command cut off by the end of the file is kept as it stands.
        if (loop != 0 && end_pos == loop) loop_pos = out.size();
        out.copy(end_pos, size - end_pos);
        end_pos = size;
    }
    r.input_data_length = end_pos > start ? static_cast<uint32_t>(end_pos - start) : 0;
    r.data_length = static_cast<uint32_t>(out.size() - head);

    con.print("%s", vgm::kClearLine);
    r.image = out.take();
    if (loop != 0) {
        if (loop_pos == 0) con.line("Error! Failed to relocate Loop Point!");
        vgm::store_le32(r.image, vgm::hdr::kLoopOffset, loop_pos == 0 ? 0 : static_cast<uint32_t>(loop_pos - 0x1C));
    }
    if (const auto tag = vgm::find_gd3_at(data, in.header.gd3())) {
        const size_t at = vgm::append_gd3(r.image, *tag);
        vgm::store_le32(r.image, vgm::hdr::kGd3Offset, static_cast<uint32_t>(at - vgm::hdr::kGd3Offset));
    }
    vgm::store_le32(r.image, vgm::hdr::kEofOffset, static_cast<uint32_t>(r.image.size() - 4));
    return r;
}

}  // namespace pelmora
