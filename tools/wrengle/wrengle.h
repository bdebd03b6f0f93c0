// wrengle: converts a RAW OPL capture (data/register byte pairs with delays
// in 8254 PIT ticks times a clock divisor) into a VGM file for one or two
// YM3812 chips.
#pragma once

#include <cstdint>

#include "capture/builder.h"
#include "vgm/bytes.h"
#include "vgm/console.h"

namespace wrengle {

// Samples at 44100 Hz for a tick total of the 1193180 Hz timer, rounded to
// the nearest sample.
uint32_t ticks_to_samples(uint64_t ticks);

// Builds the finished VGM file, reporting unknown control codes on `con`.
capture::VgmFileBuilder convert_raw(vgm::Bytes file, bool loop, vgm::Console& con);

}  // namespace wrengle

int wrengle_run(int argc, char** argv, vgm::Console& con);
