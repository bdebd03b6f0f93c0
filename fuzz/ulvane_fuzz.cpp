// The mono walk edits bytes in place: whatever the file holds, the image
// keeps its size, the header stays as stored and nothing outside is touched.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "ulvane.h"
#include "vgm_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto img = vgm::image_from_bytes(std::vector<uint8_t>(data, data + size), vgm::FixupProfile::FullCopying);
    if (!img) return 0;
    const std::vector<uint8_t> before = img->bytes;
    vgm::Console con = quiet_console();
    ulvane_make_mono(*img, con);
    if (img->bytes.size() != before.size() || img->file_size != before.size()) std::abort();
    const size_t head = std::min<size_t>(img->data_start(), before.size());
    if (!std::equal(before.begin(), before.begin() + head, img->bytes.begin())) std::abort();
    return 0;
}

std::vector<std::vector<uint8_t>> fuzz_seeds() {
    // dual YM2612
    return {seed_vgm({{0x2C, 0x40000000}},
                     {0x52, 0xB4, 0x80, 0xA2, 0xB5, 0x40, 0x52, 0x28, 0xF0, 0x59, 0x00, 0x3F, 0xB0, 0x01, 0xFF,
                      0xB5, 0x02, 0x00, 0xB5, 0x00, 0x37, 0xC3, 0x00, 0x00, 0x00, 0xC8, 0x00, 0x09, 0x3A, 0xC8,
                      0x00, 0x08, 0x01, 0xD0, 0x02, 0x70, 0x53, 0x67, 0x66, 0x00, 0x02, 0, 0, 0, 1, 2, 0x61, 0x10,
                      0, 0x66})};
}
