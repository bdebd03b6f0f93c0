// sprandle: converts a DRO capture (OPL register writes with millisecond
// delays) into a VGM file for one OPL2, two OPL2s or one OPL3.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "capture/builder.h"
#include "vgm/bytes.h"
#include "vgm/console.h"

namespace sprandle {

// DRO header layouts. The first three share the byte-oriented code walk; the
// version 2 layout has its own walk through a code map.
enum class DroLayout { Unversioned, Version0, Version1, Version2 };

// Hardware types after renumbering.
enum : uint32_t { kOneOpl2 = 0, kTwoOpl2 = 1, kOpl3 = 2 };

struct DroHeader {
    DroLayout layout = DroLayout::Unversioned;
    uint32_t version_major = 0;  // as printed in the version line
    uint32_t version_minor = 0;
    uint32_t length_ms = 0;
    uint64_t pairs = 0;          // register/value pairs the header announces
    uint32_t hardware = 0;       // renumbered for the old layouts
    uint8_t short_delay = 0x00;  // version 2 delay codes
    uint8_t long_delay = 0x01;
    vgm::Bytes code_map;         // version 2: code index -> register
    size_t data_start = 0;
    size_t data_end = 0;         // where the walk stops
};

// Recognises the layout and reads the header of a whole DRO file. Nothing
// when the signature is wrong, the major version is unknown or the file is
// shorter than its layout's header.
std::optional<DroHeader> parse_dro_header(vgm::Bytes file);

// Integer part of (ms x 44.1 + 0.5) in single precision.
uint32_t ms_to_samples(uint32_t ms);

struct DroConversion {
    capture::VgmFileBuilder vgm;
    uint32_t counted_ms = 0;  // all delays of the capture, trailing ones too
};

// Walks the codes and builds the finished VGM file.
DroConversion convert_dro(vgm::Bytes file, const DroHeader& header);

}  // namespace sprandle

int sprandle_run(int argc, char** argv, vgm::Console& con);
