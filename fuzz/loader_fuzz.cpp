// The loader from bytes and a command walk over what it loaded: the walk
// must stay inside the file whatever the header claims.
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "vgm/commands.h"
#include "vgm/loader.h"
#include "vgm_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes(data, data + size);
    for (auto profile : {vgm::FixupProfile::FullClearing, vgm::FixupProfile::ShortOld150}) {
        auto img = vgm::image_from_bytes(bytes, profile);
        if (!img) continue;
        if (img->file_size != img->bytes.size() || img->file_size > size) std::abort();
        size_t pos = img->data_start();
        while (pos < img->file_size) {
            const uint32_t len = vgm::command_length(img->data(), pos, vgm::kLongReservedSilent);
            if (!vgm::command_fits(img->file_size, pos, len)) break;
            if (img->bytes[pos] == vgm::cmd::kEnd) break;
            pos += len;
        }
    }
    return 0;
}

std::vector<std::vector<uint8_t>> fuzz_seeds() {
    return {seed_vgm({}, {0x52, 0x28, 0xF0, 0x67, 0x66, 0x00, 0x02, 0, 0, 0, 1, 2, 0x61, 0x10, 0, 0x66})};
}
