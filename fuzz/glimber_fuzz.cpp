// The delay remover over arbitrary files: a finished output has an EOF
// offset that matches its size, loop and GD3 offsets inside it, and a total
// that never exceeds the time of the input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "glimber.h"
#include "vgm/bytes.h"
#include "vgm_seed.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto img = vgm::image_from_bytes(std::vector<uint8_t>(data, data + size), vgm::FixupProfile::Short);
    if (!img) return 0;
    static FILE* sink = std::fopen("/dev/null", "w");
    vgm::Console con;
    con.out = sink;
    const uint16_t threshold = size > 0 ? static_cast<uint16_t>(1 + data[size - 1] % 20) : 1;
    vgm::OutputState out(*img);
    const GlimberResult r = glimber_walk(con, *img, threshold, out);
    if (!r.changed) return 0;
    const uint32_t n = vgm::finish_output(con, out, *img, vgm::kLoopWarning);
    const vgm::Bytes b = out.bytes();
    if (n != b.size()) std::abort();
    if (b.size() >= 8 && vgm::load_le32(b, 4) + 4 != b.size()) std::abort();
    const uint32_t loop = vgm::load_le32(b, 0x1C);
    if (b.size() >= 0x20 && loop != 0 && loop + 0x1Cu > b.size()) std::abort();  // may point at the very end
    const uint32_t gd3 = vgm::load_le32(b, 0x14);
    if (b.size() >= 0x18 && gd3 != 0 && gd3 != vgm::load_le32(img->bytes, 0x14) &&
        (gd3 + 0x14u + 12 > b.size() || vgm::load_le32(b, gd3 + 0x14) != 0x20336447))
        std::abort();
    return 0;
}

std::vector<std::vector<uint8_t>> fuzz_seeds() {
    // short waits between writes, loop at the second write, GD3 behind the stream
    return {seed_vgm({{0x0C, 3579545}},
                     {0x50, 0x9F, 0x70, 0x50, 0xBF, 0x61, 0x01, 0x00, 0x50, 0x01, 0x70, 0x62, 0x81, 0x70,
                      0x45, 0x00, 0x96, 0x67, 0x66, 0x00, 0x02, 0, 0, 0, 1, 2, 0x63, 0x66,
                      'G', 'd', '3', ' ', 0, 1, 0, 0, 2, 0, 0, 0, 'a', 0},
                     3, 28)};
}
