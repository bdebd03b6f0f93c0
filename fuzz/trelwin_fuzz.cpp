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
#include "vgm_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vgm::Console con = quiet_console();
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
    return {seed_vgm({},
                     {0x5A, 0x20, 0x01, 0xAA, 0x20, 0x02, 0x5E, 0x01, 0x00, 0x5F, 0x05, 0x01, 0x5E, 0xC0, 0x31,
                      0x5F, 0xE0, 0x07, 0x02, 0x61, 0x10, 0, 0x66, 'G', 'd', '3', ' ', 0, 1, 0, 0, 2, 0, 0, 0, 'a', 0},
                     6, 23)};
}
