// glimber: takes very short waits between register writes out of a VGM
// stream and adds their time to the next wait.
#pragma once

#include <cstdint>

#include "vgm/console.h"
#include "vgm/loader.h"
#include "vgm/writer.h"

// Result of the walk over one loaded file.
struct GlimberResult {
    bool changed = false;        // a short wait was taken out
    uint32_t total_samples = 0;  // waits of the output stream
};

// Reads "-delay:N" options: N in decimal, 0x hex or 0 octal, low 16 bits;
// the last one counts; 0 or none gives 1. Returns the index of the first
// argument that is not such an option (argc when there is none).
int glimber_options(int argc, char** argv, uint16_t& threshold);

// Walks the stream of `in` into `out`, taking out waits of at most
// `threshold` samples that stand between two commands.
GlimberResult glimber_walk(vgm::Console& con, const vgm::VgmImage& in, uint16_t threshold, vgm::OutputState& out);

// The whole program: returns its exit code.
int glimber_run(int argc, char** argv, vgm::Console& con);
