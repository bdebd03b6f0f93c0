// The delay remover over arbitrary files: a finished output has an EOF
// offset that matches its size, loop and GD3 offsets inside it, and a total
// that never exceeds the time of the input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "glimber.h"
#include "vgm/bytes.h"
#include "vgm_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto img = vgm::image_from_bytes(std::vector<uint8_t>(data, data + size), vgm::FixupProfile::Short);
    if (!img) return 0;
    vgm::Console con = quiet_console();
    const uint16_t threshold = size > 0 ? static_cast<uint16_t>(1 + data[size - 1] % 20) : 1;
    vgm::OutputState out(*img);
    const GlimberResult r = glimber_walk(con, *img, threshold, out);
    if (!r.changed) return 0;
    finish_and_check(con, out, *img);
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
