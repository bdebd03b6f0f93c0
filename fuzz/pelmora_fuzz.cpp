// The RF-PCM optimizer over arbitrary files: all three steps run without a
// read or write outside a buffer, and a result has an EOF offset that matches
// its size, loop and GD3 offsets inside it, and PCM RAM writes that copy only
// from bytes its database blocks hold.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "pelmora.h"
#include "vgm/cursor.h"
#include "vgm/datablock.h"
#include "vgm_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto img = vgm::image_from_bytes(std::vector<uint8_t>(data, data + size), vgm::FixupProfile::ShortOld150);
    if (!img) return 0;
    const std::vector<uint8_t> input = img->bytes;
    const size_t start = img->data_start();
    vgm::Console con = quiet_console();
    const pelmora::OptimizeResult r = pelmora::optimize(con, *img);
    if (r.outcome != pelmora::Outcome::Compressed) return 0;
    const vgm::Bytes out = r.file;
    check_rewritten(out, input);
    if (r.output_data_length > out.size()) std::abort();

    // Every 0x68 reads inside the bank it names.
    const vgm::DataBanks banks = vgm::collect_banks(out, start, pelmora::kQuietWalk);
    vgm::CommandCursor cur(out, start, pelmora::kQuietWalk);
    for (vgm::Command c; cur.next(c);) {
        if (c.op == vgm::cmd::kEnd) break;
        if (c.op != vgm::cmd::kPcmRamWrite) continue;
        const uint32_t read = c.arg(3) | (c.arg(4) << 8) | (c.arg(5) << 16);
        const uint32_t count = c.arg(9) | (c.arg(10) << 8) | (c.arg(11) << 16);
        if (count == 0 || uint64_t{read} + count > banks[c.arg(2)].size) std::abort();
    }
    return 0;
}

std::vector<std::vector<uint8_t>> fuzz_seeds() {
    // RF5C68 memory writes under a bank select, RAM-write blocks (two equal),
    // an SCSP block, waits, a loop point and a GD3 tag.
    const std::vector<uint8_t> s = {
        0xB0, 0x07, 0x82, 0xC1, 0x00, 0x01, 0x11, 0x70, 0xC1, 0x01, 0x01, 0x22, 0xC1, 0x02, 0x01, 0x33,
        0x67, 0x66, 0xC0, 0x06, 0, 0, 0, 0x00, 0x40, 1, 2, 3, 4, 0x62,
        0x67, 0x66, 0xC0, 0x06, 0, 0, 0, 0x00, 0x80, 1, 2, 3, 4, 0x61, 0x10, 0x00,
        0x67, 0x66, 0xC1, 0x05, 0, 0, 0, 0x00, 0x10, 1, 2, 3, 0xB1, 0x07, 0x03, 0xC2, 0x00, 0x00, 9,
        0x67, 0x66, 0xE0, 0x07, 0, 0, 0, 0x00, 0x00, 0x01, 0x00, 5, 6, 7, 0x70, 0x70,
        0x67, 0x66, 0xE0, 0x07, 0, 0, 0, 0x00, 0x10, 0x01, 0x00, 5, 6, 7, 0x67, 0x66, 0x01, 0x01, 0, 0, 0, 8,
        0x66, 'G', 'd', '3', ' ', 0, 1, 0, 0, 2, 0, 0, 0, 'a', 0};
    const int gd3 = static_cast<int>(s.size()) - 14;
    return {seed_vgm({{0x40, 12500000}, {0x6C, 12500000}, {0xB8, 22579200}}, {}, -1, -1, 0x100),
            [&] {
                std::vector<uint8_t> v = seed_vgm({{0x40, 12500000}, {0x6C, 12500000}, {0xB8, 22579200}},
                                                  {0x66}, 7, -1, 0x100);
                v.pop_back();
                v.insert(v.end(), s.begin(), s.end());
                vgm::store_le32(v, 0x04, static_cast<uint32_t>(v.size() - 4));
                vgm::store_le32(v, 0x1C, 0x100 + 7 - 0x1C);
                vgm::store_le32(v, 0x14, static_cast<uint32_t>(0x100 + gd3 - 0x14));
                return v;
            }()};
}
