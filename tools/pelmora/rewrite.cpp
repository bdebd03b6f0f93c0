// Step 3: the stream rebuilt around the database.
//
// Entries used more than once are stored, per chip, in one data block of the
// chip's PCM type at the front of the stream; a RAM-write block whose first
// use names such an entry becomes a PCM RAM write (0x68) copying its bytes
// from there. Waits are gathered and written again with one encoder, so
// that waits with nothing between them join.
#include <algorithm>

#include "pelmora.h"
#include "stream_out.h"
#include "vgm/cursor.h"
#include "vgm/datablock.h"
#include "vgm/gd3.h"
#include "vgm/header.h"
#include "vgm/wait_encoder.h"

namespace pelmora {

namespace {

// 0x68 addresses bank offsets, chip addresses and lengths in 24 bits.
constexpr uint32_t kPcmRamLimit = 0x1000000;
constexpr uint32_t kVersion160 = 0x160;

bool is_wait(uint8_t op) { return op == 0x61 || op == 0x62 || op == 0x63 || (op >= 0x70 && op <= 0x7F); }

// Places the entries used more than once in their chip's database block and
// appends the blocks. An entry that would end beyond what a 0x68 can address
// stays out (its blocks stay RAM-write blocks).
void put_database(std::vector<uint8_t>& out, vgm::Bytes image, Database& db) {
    for (uint8_t chip = 0; chip < kChipCount; ++chip) {
        uint32_t total = 0;
        for (PcmBlock& p : db.entries) {
            if (p.chip != chip || p.single_use) continue;
            p.stored = p.length <= kPcmRamLimit - total;
            if (!p.stored) continue;
            p.db_offset = total;
            total += p.length;
        }
        if (total == 0) continue;
        const auto h = vgm::data_block_header(kRamChips[chip].bank_type, total);
        out.insert(out.end(), h.begin(), h.end());
        for (const PcmBlock& p : db.entries) {
            if (p.chip != chip || !p.stored) continue;
            const vgm::Bytes d = image.subspan(p.data_pos, p.length);
            out.insert(out.end(), d.begin(), d.end());
        }
    }
}

}  // namespace

void put_wait(std::vector<uint8_t>& out, uint64_t samples) {
    // Whole pieces of 0xFFFF * 0x10000 samples encode exactly as one long wait.
    constexpr uint64_t kPiece = 0xFFFFull * 0x10000ull;
    while (samples > 0) {
        const uint64_t n = std::min(samples, kPiece);
        vgm::encode_wait(out, static_cast<uint32_t>(n), nullptr, vgm::WaitTable::WideDoubleFrames);
        samples -= n;
    }
}

RewriteResult rewrite(vgm::Console& con, vgm::Bytes image, size_t data_start, Database& db) {
    RewriteResult r;
    const size_t head = std::min(data_start, image.size());
    const uint32_t loop_field = vgm::load_le32(image, vgm::hdr::kLoopOffset);
    const size_t loop = loop_field == 0 ? 0 : size_t{loop_field} + vgm::hdr::kLoopOffset;

    StreamOut out(image, image.size() + 0x100);
    out.copy(0, head);
    put_database(out.buffer(), image, db);

    uint64_t pending = 0;
    auto flush_wait = [&] {
        if (pending == 0) return;
        put_wait(out.buffer(), pending);
        pending = 0;
    };
    size_t loop_pos = 0;
    size_t next_use = 0;
    bool ended = false;

    vgm::CommandCursor cur(image, data_start, kQuietWalk);
    for (vgm::Command c; cur.next(c);) {
        const bool at_loop = loop != 0 && c.pos == loop;
        if (at_loop) flush_wait();
        if (is_wait(c.op)) {
            const uint32_t n = vgm::wait_samples(c.bytes, 0);
            if (at_loop) {
                loop_pos = out.size();
                put_wait(out.buffer(), n);
            } else {
                pending += n;
            }
            continue;
        }
        if (c.op == vgm::cmd::kDataBlock) {
            const uint8_t type = c.arg(2);
            if (type == vgm::block::kRf5c68Pcm || type == vgm::block::kRf5c164Pcm) {
                // Dropped; at the loop point the loop moves to what follows.
                if (at_loop) loop_pos = out.size();
                continue;
            }
            RamBlock rb;
            if (read_ram_block(image, c.pos, rb)) {
                while (next_use < db.uses.size() && db.uses[next_use].pos < c.pos) ++next_use;
                if (next_use < db.uses.size() && db.uses[next_use].pos == c.pos) {
                    const BlockUse& u = db.uses[next_use];
                    const PcmBlock& e = db.entries[u.entry];
                    // An empty block stays: a 0x68 of no bytes is longer and
                    // does nothing.
                    if (e.stored && u.length != 0 && u.start < kPcmRamLimit) {
                        flush_wait();
                        if (at_loop) loop_pos = out.size();
                        const auto w =
                            vgm::pcm_ram_write(kRamChips[e.chip].bank_type, e.db_offset, u.start, u.length);
                        out.append(w);
                        ++next_use;
                        continue;
                    }
                }
            }
        }
        flush_wait();
        if (at_loop) loop_pos = out.size();
        out.copy(c.pos, c.len);
        if (c.op == vgm::cmd::kEnd) {
            ended = true;
            break;
        }
    }
    if (!ended) {
        // No end command: the waits still held are written all the same, and
        // a command cut off by the end is kept as it stands.
        flush_wait();
        if (cur.cut_off()) {
            const size_t p = cur.pos();
            if (loop != 0 && p == loop) loop_pos = out.size();
            out.copy(p, image.size() - p);
        }
    }
    con.print("%s", vgm::kClearLine);

    r.data_length = static_cast<uint32_t>(out.size() - head);
    r.file = out.take();
    if (loop != 0) {
        r.loop_lost = loop_pos == 0;
        if (r.loop_lost) con.line("Error! Failed to relocate Loop Point!");
        vgm::store_le32(r.file, vgm::hdr::kLoopOffset, r.loop_lost ? 0 : static_cast<uint32_t>(loop_pos - 0x1C));
    }
    const uint32_t gd3_field = vgm::load_le32(image, vgm::hdr::kGd3Offset);
    if (const auto tag = vgm::find_gd3_at(image, gd3_field == 0 ? 0 : gd3_field + vgm::hdr::kGd3Offset)) {
        const size_t at = vgm::append_gd3(r.file, *tag);
        vgm::store_le32(r.file, vgm::hdr::kGd3Offset, static_cast<uint32_t>(at - vgm::hdr::kGd3Offset));
    }
    vgm::store_le32(r.file, vgm::hdr::kEofOffset, static_cast<uint32_t>(r.file.size() - 4));
    if (vgm::load_le32(r.file, vgm::hdr::kVersion) < kVersion160)
        vgm::store_le32(r.file, vgm::hdr::kVersion, kVersion160);
    return r;
}

}  // namespace pelmora
