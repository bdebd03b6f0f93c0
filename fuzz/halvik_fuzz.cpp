// The splitter over arbitrary files: every output it finishes has an EOF
// offset that matches its size, and its loop and GD3 offsets point inside it.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "halvik.h"
#include "vgm/bytes.h"
#include "vgm_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto img = vgm::image_from_bytes(std::vector<uint8_t>(data, data + size), vgm::FixupProfile::Short);
    if (!img) return 0;
    vgm::Console con = quiet_console();
    const SplitOutputs out = halvik_split(*img, con);
    for (const auto& o : out) {
        if (!o.has_data) continue;
        const std::vector<uint8_t>& b = o.buf;
        if (b.size() < 8 || vgm::load_le32(b, 4) + 4 != b.size()) std::abort();
        const uint32_t loop = vgm::load_le32(b, 0x1C);
        if (b.size() >= 0x20 && loop != 0 && loop + 0x1Cu >= b.size()) std::abort();
        const uint32_t gd3 = vgm::load_le32(b, 0x14);
        if (b.size() >= 0x18 && gd3 != 0 && (gd3 + 0x14u + 12 > b.size() || vgm::load_le32(b, gd3 + 0x14) != 0x20336447))
            std::abort();
    }
    return 0;
}

std::vector<std::vector<uint8_t>> fuzz_seeds() {
    // dual SN76496, loop at the third byte of the stream, GD3 behind it
    return {seed_vgm({{0x0C, 0x40000000}},
                     {0x50, 0x9F, 0x30, 0xBF, 0x61, 0x10, 0x00, 0x83, 0x75, 0xA2, 0x2A, 0x00, 0x67, 0x66,
                      0x00, 0x02, 0, 0, 0x80, 1, 2, 0xB4, 0x85, 0x00, 0x02, 0x62, 0x66,
                      'G', 'd', '3', ' ', 0, 1, 0, 0, 2, 0, 0, 0, 'a', 0},
                     2, 27)};
}
