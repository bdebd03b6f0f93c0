// halvik: splits a VGM file that drives two instances of a chip into two
// files, one per instance. Output 0 gets every first-instance command and
// everything without a second-instance form; output 1 gets the second
// instance's commands rewritten into their first-instance form. Each output
// carries the waits that keep its commands at their original sample times.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "vgm/console.h"
#include "vgm/header.h"
#include "vgm/loader.h"

struct ChipOutput {
    vgm::VgmHeader header;     // the input's header record, edited for this output
    std::vector<uint8_t> buf;  // the output file; the stream starts at the input's data start
    uint32_t last_sample = 0;  // sample time up to which waits have been written
    uint32_t loop_pos = 0;     // absolute position of the loop point, 0 = none
    bool dac_merge = false;    // the last byte appended is a 0x80 DAC write
    bool has_data = false;     // a command was routed here
};

using SplitOutputs = std::array<ChipOutput, 2>;

// The header copies, the walk, the end commands, the GD3 tag and the header
// finishing. Prints "Unknown Command: %X\n" for unknown bytes. Outputs
// without data are left unfinished (they are not written).
SplitOutputs halvik_split(const vgm::VgmImage& img, vgm::Console& con);

// The whole program. Returns the exit code.
int halvik_run(int argc, char** argv, vgm::Console& con);
