// The DRO header parser and code walk over arbitrary bytes.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "capture_check.h"
#include "sprandle.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const vgm::Bytes file(data, size);
    const auto header = sprandle::parse_dro_header(file);
    if (!header) return 0;
    if (header->data_start > size || header->data_end > size) std::abort();
    const auto conv = sprandle::convert_dro(file, *header);
    // Every write takes at least two bytes of the data.
    if (check_capture_file(conv.vgm) > (size - header->data_start) / 2) std::abort();
    // Waits only ever reach the target of the delays counted so far.
    if (conv.vgm.samples_written() > sprandle::ms_to_samples(conv.counted_ms) && conv.counted_ms < 0x10000000)
        std::abort();
    return 0;
}

std::vector<std::vector<uint8_t>> fuzz_seeds() {
    const uint8_t sig[] = {'D', 'B', 'R', 'A', 'W', 'O', 'P', 'L'};
    std::vector<uint8_t> v1(sig, sig + 8);
    const uint8_t v1_head[] = {0, 0, 1, 0, 100, 0, 0, 0, 24, 0, 0, 0, 0, 0, 0, 0};
    v1.insert(v1.end(), v1_head, v1_head + sizeof v1_head);
    const uint8_t v1_data[] = {0x20, 0x01, 0x01, 0x20, 0x02, 0x21, 0x03, 0x00, 0x09, 0x01, 0x20, 0xB0,
                               0x01, 0x10, 0x00, 0x03, 0x40, 0x3F, 0x02, 0x04, 0x01, 0x20, 0x00, 0xFF};
    v1.insert(v1.end(), v1_data, v1_data + sizeof v1_data);

    std::vector<uint8_t> v2(sig, sig + 8);
    const uint8_t v2_head[] = {2, 0, 0, 0, 6, 0, 0, 0, 0x0A, 2, 0, 0, 1, 0, 0, 0x3C, 0x3D, 3, 0x20, 0x40, 0xBD};
    v2.insert(v2.end(), v2_head, v2_head + sizeof v2_head);
    const uint8_t v2_data[] = {0x3C, 0x09, 0x01, 0x3F, 0x81, 0x11, 0x3D, 0x01, 0x82, 0x20, 0x05, 0x77};
    v2.insert(v2.end(), v2_data, v2_data + sizeof v2_data);

    std::vector<uint8_t> old(sig, sig + 8);
    const uint8_t old_head[] = {0x2C, 0x01, 0, 0, 8, 0, 0, 0, 1, 0x20, 0x21, 0x00, 0x09, 0x40, 0x3F, 0x01, 0x00};
    old.insert(old.end(), old_head, old_head + sizeof old_head);
    return {v1, v2, old};
}
