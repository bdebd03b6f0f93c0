// The IMF entry walk over arbitrary bytes, in both types and at a few rates.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "capture_check.h"
#include "yorvath.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const vgm::Bytes file(data, size);
    const uint32_t rate = size > 0 ? 1u + data[size - 1] * 257u : 560u;
    for (int type : {-1, 0, 1}) {
        const auto layout = yorvath::imf_layout(file, type);
        if (layout.end > size || layout.type > 1) std::abort();
        const auto vgm = yorvath::convert_imf(file, layout, rate, type == 1);
        const size_t writes = check_capture_file(vgm);
        // One write per entry, plus the first; entries take four bytes.
        if (writes < 1 || writes > 1 + (size + 3) / 4) std::abort();
        if (vgm.header().u32(vgm::hdr::kTotalSamples) != vgm.samples_written()) std::abort();
    }
    return 0;
}

std::vector<std::vector<uint8_t>> fuzz_seeds() {
    const std::vector<uint8_t> t0 = {0, 0, 0, 0, 0xB0, 0x11, 1, 0, 0xA0, 0x22, 7, 0, 0xBD, 0x20, 0xFF, 0xFF};
    std::vector<uint8_t> t1 = {12, 0};
    t1.insert(t1.end(), t0.begin() + 4, t0.end());
    return {t0, t1};
}
