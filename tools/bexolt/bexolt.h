// bexolt: suggests the volume modifier of the VGM files of a playlist from
// 16-bit WAVE recordings of them. For each track it reads the WAVE file of
// the same name, finds its peak and prints the factor that would bring the
// peak to full scale and the header volume-modifier value for that factor;
// then the same for the loudest peak of all tracks.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "vgm/console.h"

namespace bexolt {

struct Options {
    std::optional<std::string> playlist;  // argument 1
    std::optional<std::string> volume;    // argument 2
};

Options parse_options(int argc, char** argv);

// The volume setting from its text: a decimal number (leading white space
// skipped, the longest valid prefix), in single precision; 0, no number or
// not-a-number give 1.0.
float parse_volume(const std::string& text);

struct Level {
    float factor = 0;    // 32768 / peak * volume, held within 0.25..64
    uint8_t volmod = 0;  // the header's volume modifier for that factor
};

// The level of a peak above 0.
Level level_for(uint16_t peak, float volume);

// "MaxLevel: %04X\tFactor: %.3f\tVolMod: 0x%02X\n", or "--\n" for peak 0.
std::string report(uint16_t peak, float volume);

// The WAVE file name for a playlist line: the text after its last dot
// replaced by "wav" (unchanged without a dot).
std::string wave_name(const std::string& line);

int run(int argc, char** argv, vgm::Console& con);

}  // namespace bexolt
