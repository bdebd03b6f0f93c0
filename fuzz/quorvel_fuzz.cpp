// The counter's walk and attribution over arbitrary bytes.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "quorvel.h"

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
    std::vector<uint8_t> v(0x100, 0);
    v[0] = 'V'; v[1] = 'g'; v[2] = 'm'; v[3] = ' ';
    v[0x08] = 0x51; v[0x09] = 0x01; v[0x34] = 0xCC;
    v[0x0C] = 1; v[0x0F] = 0x40;  // dual SN76496
    v[0x63] = 1; v[0x87] = 0x80;  // YMF278B, NES APU with FDS
    const uint8_t stream[] = {0x50, 0x90, 0x30, 0x9F, 0x52, 0x28, 0xF0, 0xA2, 0x28, 0xF0, 0xD0, 0x02, 0x68, 0x80,
                              0xB4, 0x23, 0x00, 0xB8, 0x00, 0x81, 0xB8, 0x00, 0x10, 0xC4, 0x00, 0x01, 0x06,
                              0x67, 0x66, 0x41, 0x02, 0, 0, 0x80, 1, 2, 0x68, 0x66, 0x01, 0, 0, 0, 0, 0, 0, 1,
                              0, 0, 0x61, 0x10, 0, 0x66};
    v.insert(v.end(), stream, stream + sizeof stream);
    v[0x04] = static_cast<uint8_t>(v.size() - 4);
    v[0x05] = static_cast<uint8_t>((v.size() - 4) >> 8);
    return {v};
}
