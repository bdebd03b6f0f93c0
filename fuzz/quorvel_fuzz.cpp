// The counter's walk and attribution over arbitrary bytes.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "quorvel.h"
#include "vgm_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto img = vgm::image_from_bytes(std::vector<uint8_t>(data, data + size), vgm::FixupProfile::FullClearing);
    if (!img) return 0;
    quorvel::CounterTable t;
    quorvel::init_counters(img->header, t);
    quorvel::count_commands(*img, t);
    // Every counted command takes at least one byte of the stream.
    uint64_t total = 0;
    for (const auto& inst : t.c)
        for (const auto& c : inst) total += c.commands;
    if (total > size) std::abort();
    return 0;
}

std::vector<std::vector<uint8_t>> fuzz_seeds() {
    // dual SN76496, YMF278B, NES APU with FDS
    return {seed_vgm({{0x0C, 0x40000001}, {0x60, 0x01000000}, {0x84, 0x80000000}},
                     {0x50, 0x90, 0x30, 0x9F, 0x52, 0x28, 0xF0, 0xA2, 0x28, 0xF0, 0xD0, 0x02, 0x68, 0x80,
                      0xB4, 0x23, 0x00, 0xB8, 0x00, 0x81, 0xB8, 0x00, 0x10, 0xC4, 0x00, 0x01, 0x06,
                      0x67, 0x66, 0x41, 0x02, 0, 0, 0x80, 1, 2, 0x68, 0x66, 0x01, 0, 0, 0, 0, 0, 0, 1,
                      0, 0, 0x61, 0x10, 0, 0x66},
                     -1, -1, 0x100)};
}
