// The OPL conversions over arbitrary files: the in-place modes keep the
// size, the compacting mode never grows the file and leaves an EOF offset
// that matches what it kept.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "trelwin.h"
#include "vgm/bytes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FILE* sink = std::fopen("/dev/null", "w");
    vgm::Console con;
    con.out = sink;
    for (OplMode mode : {OplMode::OplToDual, OplMode::DualToOpl3, OplMode::DualToSingle, OplMode::OplToSingle}) {
        auto img = vgm::image_from_bytes(std::vector<uint8_t>(data, data + size), vgm::FixupProfile::FullCopying);
        if (!img) return 0;
        const size_t before = img->bytes.size();
        // Force the chips the mode needs, so that every walk runs.
        img->header.set_u32(0x50, 0xC0369E99);
        img->header.set_u32(0x5C, 14318180);
        if (!trelwin_set_clocks(*img, mode, con)) continue;
        trelwin_convert(*img, mode, con);
        if (img->bytes.size() != img->file_size) std::abort();
        if (mode == OplMode::DualToSingle) {
            if (img->bytes.size() > before) std::abort();
            if (img->bytes.size() >= 8 && vgm::load_le32(img->bytes, 4) + 4 != img->bytes.size()) std::abort();
        } else if (img->bytes.size() != before) {
            std::abort();
        }
    }
    return 0;
}

std::vector<std::vector<uint8_t>> fuzz_seeds() {
    std::vector<uint8_t> v(0x80, 0);
    const uint8_t head[] = {'V', 'g', 'm', ' '};
    std::copy(head, head + 4, v.begin());
    v[0x08] = 0x51; v[0x09] = 0x01; v[0x34] = 0x4C;
    v[0x1C] = 0x6A;  // loop at 0x86
    const uint8_t stream[] = {0x5A, 0x20, 0x01, 0xAA, 0x20, 0x02, 0x5E, 0x01, 0x00, 0x5F, 0x05, 0x01,
                              0x5E, 0xC0, 0x31, 0x5F, 0xE0, 0x07, 0x02, 0x61, 0x10, 0, 0x66,
                              'G', 'd', '3', ' ', 0, 1, 0, 0, 2, 0, 0, 0, 'a', 0};
    v.insert(v.end(), stream, stream + sizeof stream);
    v[0x14] = static_cast<uint8_t>(0x80 + 23 - 0x14);
    v[0x04] = static_cast<uint8_t>(v.size() - 4);
    return {v};
}
