// The frame-accuracy tool over arbitrary files: a finished output has an EOF
// offset that matches its size and loop and GD3 offsets inside it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "kadrel.h"
#include "vgm/bytes.h"
#include "vgm_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto img = vgm::image_from_bytes(std::vector<uint8_t>(data, data + size), vgm::FixupProfile::Short);
    if (!img) return 0;
    vgm::Console con = quiet_console();
    const auto timing = kadrel_timing(con, *img);
    if (!timing) return 0;
    vgm::OutputState out(*img);
    const RoundingStats s = kadrel_walk(con, *img, *timing, out);
    // A difference never exceeds half a frame in either direction.
    if (s.lowest < -timing->samples_per_frame || s.highest > timing->samples_per_frame / 2) std::abort();
    finish_and_check(con, out, *img);
    return 0;
}

std::vector<std::vector<uint8_t>> fuzz_seeds() {
    // 60 Hz with uneven waits, loop at a wait, GD3 behind the stream
    return {seed_vgm({{0x0C, 3579545}, {0x24, 60}},
                     {0x50, 0x9F, 0x61, 0x90, 0x01, 0x61, 0x4F, 0x01, 0x63, 0x50, 0x01, 0x61, 0xFF, 0xFF,
                      0x8F, 0x70, 0x45, 0x00, 0x96, 0x62, 0x66,
                      'G', 'd', '3', ' ', 0, 1, 0, 0, 2, 0, 0, 0, 'a', 0},
                     5, 21)};
}
