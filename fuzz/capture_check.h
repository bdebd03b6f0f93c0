// Invariants of a file the capture builder finished: the fixed header, only
// 3-byte register writes and 0x61 waits from byte 0x80, one 0x66 at the very
// end, and waits that add up to the samples the builder counted.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "capture/builder.h"

// Returns the number of register writes.
inline size_t check_capture_file(const capture::VgmFileBuilder& b) {
    const vgm::Bytes f = b.file();
    if (f.size() < 0x81) std::abort();
    if (vgm::load_le32(f, 0) != vgm::kVgmSignature || vgm::load_le32(f, 8) != 0x151) std::abort();
    if (vgm::load_le32(f, 4) != f.size() - 4 || vgm::load_le32(f, 0x34) != 0x4C) std::abort();
    uint64_t samples = 0;
    size_t writes = 0;
    size_t pos = 0x80;
    while (f[pos] != 0x66) {
        if (!vgm::in_bounds(f.size(), pos, 3)) std::abort();
        switch (f[pos]) {
            case 0x61: {
                const uint16_t n = vgm::load_le16(f, pos + 1);
                if (n == 0) std::abort();
                samples += n;
                break;
            }
            case 0x5A: case 0xAA: case 0x5E: case 0x5F:
                ++writes;
                break;
            default:
                std::abort();
        }
        pos += 3;
    }
    if (pos + 1 != f.size()) std::abort();
    // The count is 32 bits, as the header's total is: past 2^32 samples
    // (27 hours) it wraps like the field.
    if (static_cast<uint32_t>(samples) != b.samples_written()) std::abort();
    return writes;
}
