// The RAW pair walk over arbitrary bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "capture_check.h"
#include "wrengle.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static FILE* sink = std::fopen("/dev/null", "w");
    vgm::Console con{sink, stdin};
    const auto vgm = wrengle::convert_raw(vgm::Bytes(data, size), false, con);
    const size_t writes = check_capture_file(vgm);
    if (vgm.header().u32(vgm::hdr::kTotalSamples) != vgm.samples_written()) std::abort();
    // Each register write takes a whole pair after the 10-byte header.
    if (writes > (size > 10 ? (size - 10) / 2 : 0)) std::abort();
    return 0;
}

std::vector<std::vector<uint8_t>> fuzz_seeds() {
    const std::vector<uint8_t> v = {'R', 'A', 'W', 'A', 'D', 'A', 'T', 'A', 0xA9, 0x04, 0x01, 0x00, 0x11, 0x20,
                                    0x00, 0x02, 0xFF, 0xFF, 0xFF, 0x00, 0x02, 0x02, 0x12, 0xB0, 0x07, 0x02,
                                    0x01, 0x02, 0x13, 0xB0, 0xFF, 0xFF};
    return {v};
}
