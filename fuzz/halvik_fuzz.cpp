// The splitter over arbitrary files: every output it finishes has an EOF
// offset that matches its size, and its loop and GD3 offsets point inside it.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "halvik.h"
#include "vgm/bytes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto img = vgm::image_from_bytes(std::vector<uint8_t>(data, data + size), vgm::FixupProfile::Short);
    if (!img) return 0;
    static FILE* sink = std::fopen("/dev/null", "w");
    vgm::Console con;
    con.out = sink;
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
    std::vector<uint8_t> v(0x80, 0);
    const uint8_t head[] = {'V', 'g', 'm', ' '};
    std::copy(head, head + 4, v.begin());
    v[0x08] = 0x51; v[0x09] = 0x01; v[0x34] = 0x4C;
    v[0x0F] = 0x40;  // dual SN76496
    v[0x1C] = 0x66;  // loop at 0x82
    const uint8_t stream[] = {0x50, 0x9F, 0x30, 0xBF, 0x61, 0x10, 0x00, 0x83, 0x75, 0xA2, 0x2A, 0x00,
                              0x67, 0x66, 0x00, 0x02, 0, 0, 0x80, 1, 2, 0xB4, 0x85, 0x00, 0x02, 0x62, 0x66,
                              'G', 'd', '3', ' ', 0, 1, 0, 0, 2, 0, 0, 0, 'a', 0};
    v.insert(v.end(), stream, stream + sizeof stream);
    v[0x14] = static_cast<uint8_t>(0x80 + 27 - 0x14);
    v[0x04] = static_cast<uint8_t>(v.size() - 4);
    return {v};
}
