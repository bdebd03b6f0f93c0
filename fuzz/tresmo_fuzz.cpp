// The DAC stream optimizer over arbitrary files. A finished output passes
// the rewritten-file checks; every data bank of the output starts with the
// bytes of the input's bank at the same bank offsets; every fast start of the
// output is one the rewrite reports, for a stream start of the input of the
// same stream, and names a block of the stream's bank whose bytes are exactly
// the range that the stream start played, with the start's mode in its flags.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <unordered_map>
#include <vector>

#include "tresmo.h"
#include "vgm/bytes.h"
#include "vgm/cursor.h"
#include "vgm/datablock.h"
#include "vgm_fuzz.h"

namespace {

void check_fast_starts(vgm::Bytes out, size_t from, size_t stream_end, const vgm::VgmImage& in,
                       const std::vector<tresmo::FastStart>& record) {
    const vgm::DataBanks in_banks = vgm::collect_banks(in.data(), in.data_start(), vgm::kShortReservedSilent);
    std::unordered_map<size_t, size_t> in_pos_of;
    for (const auto& f : record) in_pos_of[f.out_pos] = f.in_pos;

    vgm::DataBanks out_banks;
    std::vector<uint16_t> bank(vgm::stream::kStreamCount, 0x100);
    size_t fast_starts = 0;
    vgm::CommandCursor cur(out, from, vgm::kLongReservedSilent);
    for (vgm::Command c; cur.next(c) && c.pos < stream_end;) {
        if (c.op == vgm::cmd::kDataBlock) {
            if (auto b = vgm::read_data_block(out, c.pos)) out_banks.add(*b);
        } else if (c.op == vgm::stream::kData) {
            bank[vgm::stream_id(c.bytes)] = vgm::stream_data_bank(c.bytes);
        } else if (c.op == vgm::stream::kFastStart) {
            ++fast_starts;
            const auto it = in_pos_of.find(c.pos);
            if (it == in_pos_of.end()) std::abort();
            const vgm::Bytes in_cmd = in.data().subspan(it->second);
            if (vgm::load_u8(in_cmd, 0) != vgm::stream::kStart) std::abort();
            const vgm::StreamStart st = vgm::read_stream_start(in_cmd);
            const uint8_t id = vgm::stream_id(c.bytes);
            if (st.stream != id || c.arg(4) != vgm::fast_start_flags(st.mode)) std::abort();
            if (bank[id] > vgm::block::kLastStream) std::abort();
            const vgm::DataBank& ob = out_banks[static_cast<uint8_t>(bank[id])];
            const uint32_t block_id = vgm::load_le16(c.bytes, 2);
            if (block_id >= ob.blocks.size()) std::abort();
            const auto blk = vgm::read_data_block(out, ob.blocks[block_id].pos);
            const std::vector<uint8_t> in_bank = in_banks[static_cast<uint8_t>(bank[id])].concatenate(in.data());
            if (!blk || blk->length() != st.length || uint64_t{st.start} + st.length > in_bank.size()) std::abort();
            if (!std::equal(blk->payload.begin(), blk->payload.end(), in_bank.begin() + st.start)) std::abort();
        }
    }
    if (fast_starts != record.size()) std::abort();

    // Bank offsets keep pointing at the same bytes.
    for (unsigned t = 0; t < vgm::block::kBankCount; ++t) {
        const std::vector<uint8_t> a = in_banks[static_cast<uint8_t>(t)].concatenate(in.data());
        const std::vector<uint8_t> b = out_banks[static_cast<uint8_t>(t)].concatenate(out);
        if (b.size() < a.size() || !std::equal(a.begin(), a.end(), b.begin())) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto img = vgm::image_from_bytes(std::vector<uint8_t>(data, data + size), vgm::FixupProfile::Short);
    if (!img) return 0;
    vgm::Console con = quiet_console();
    vgm::OutputState out(*img);
    std::vector<tresmo::FastStart> record;
    size_t stream_end = 0;
    if (tresmo::optimize(con, *img, out, &record, &stream_end) != tresmo::Outcome::Rewritten) return 0;
    const uint32_t n = out.write_pos();
    if (n != out.bytes().size()) std::abort();
    check_rewritten(out.bytes(), img->bytes);
    check_fast_starts(out.bytes(), std::min<size_t>(img->data_start(), img->file_size), stream_end, *img, record);
    return 0;
}

std::vector<std::vector<uint8_t>> fuzz_seeds() {
    // two banks, constant and varying set-up, starts of used ranges (one past
    // the end of its bank), loop at a stream start, GD3 behind the stream
    return {seed_vgm({{0x2C, 7670453}},
                     {0x67, 0x66, 0x00, 0x10, 0, 0, 0, 0,    1,    2,    3,    4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15,
                      0x67, 0x66, 0x02, 0x04, 0, 0, 0, 0xA0, 0xA1, 0xA2, 0xA3,
                      0x90, 0x00, 0x02, 0x00, 0x2A, 0x91, 0x00, 0x00, 0x01, 0x00, 0x92, 0x00, 0x40, 0x1F, 0, 0,
                      0x90, 0x01, 0x02, 0x00, 0x2A, 0x91, 0x01, 0x02, 0x01, 0x00,
                      0x93, 0x00, 0x04, 0, 0, 0, 0x80, 0x04, 0, 0, 0, 0x62,
                      0x93, 0x01, 0x00, 0, 0, 0, 0x10, 0x02, 0, 0, 0, 0x62,
                      0x92, 0x00, 0x40, 0x1F, 0, 0, 0x93, 0x00, 0x0C, 0, 0, 0, 0x01, 0x08, 0, 0, 0,
                      0x90, 0x01, 0x02, 0x01, 0x2A, 0x93, 0x00, 0x00, 0, 0, 0, 0x00, 0x04, 0, 0, 0, 0x45, 0x00,
                      0x96, 0x68, 0x66, 0x00, 0, 0, 0, 0, 0, 0, 4, 0, 0, 0x66,
                      'G', 'd', '3', ' ', 0, 1, 0, 0, 2, 0, 0, 0, 'a', 0},
                     90, 133)};
}
