// Reads back the VGM files the capture converters write: a 128-byte header,
// 3-byte OPL register writes and 0x61 waits, ending in 0x66.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vgm_builder.h"

namespace testvgm {

struct CaptureVgm {
    std::string error;             // empty when the file is well formed
    std::vector<uint32_t> waits;   // every 0x61 count, in order
    std::vector<ByteVec> writes;   // every register write (command, register, value)
    uint64_t samples = 0;          // sum of the waits
    // The stream as text, one token per command: "5A:01=20", "w441" (waits
    // merged while they follow each other).
    std::string script;
};

// Checks the header layout (signature, version 1.51, data offset 0x4C, EOF
// offset = size - 4) and walks the commands.
CaptureVgm read_capture_vgm(const ByteVec& file);

uint32_t le32_at(const ByteVec& b, size_t off);

}  // namespace testvgm
