// yorvath: converts an IMF file (OPL2 register writes, each followed by a
// delay in ticks of a playback rate the file does not store) into a VGM file
// for one YM3812.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "capture/builder.h"
#include "vgm/bytes.h"
#include "vgm/console.h"

namespace yorvath {

// Exit code of an invalid -Type option.
constexpr int kExitBadType = 2;

// The rate a file plays at without -Hz: 700 for ".wlf" (any case), else 560.
uint32_t default_rate(const std::string& name);

// Period of the 8254 PIT timer a player programs for a rate.
uint32_t timer_period(uint32_t rate);

// Where the entries lie. Type 0 files are entries from byte 0 to the end;
// type 1 files start with a 16-bit byte count n and hold entries in 2..n+2.
struct ImfLayout {
    unsigned type = 0;
    size_t start = 0;
    size_t end = 0;  // entries start below this; never past the file
};

// `forced_type` is 0 or 1 from -Type, or -1 to detect the type: type 1 when
// the first 16-bit value is not zero.
ImfLayout imf_layout(vgm::Bytes file, int forced_type);

// Samples one delay adds to the running accumulator, in single precision.
float delay_samples(uint16_t ticks, uint32_t period);

// Builds the finished VGM file. An entry is 4 bytes: register, value and a
// 16-bit delay; a last entry cut short by the end of the file keeps its
// register write when both of its bytes are there and loses the delay.
capture::VgmFileBuilder convert_imf(vgm::Bytes file, const ImfLayout& layout, uint32_t rate, bool loop);

}  // namespace yorvath

int yorvath_run(int argc, char** argv, vgm::Console& con);
