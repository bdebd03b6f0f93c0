// kadrel: moves every command of a VGM file onto the nearest frame boundary
// of the file's frame rate and reports the largest timing changes.
#pragma once

#include <cstdint>
#include <optional>

#include "vgm/console.h"
#include "vgm/loader.h"
#include "vgm/writer.h"

// How waits are written for a frame rate.
struct FrameTiming {
    uint16_t samples_per_frame = 735;
    uint8_t frame_wait = 0x62;  // the one-byte wait of one frame
    bool long_waits = false;    // an unusual rate: every wait as 0x61
    // The largest multiple of a frame that fits in 16 bits.
    uint16_t largest_wait() const { return static_cast<uint16_t>(0xFFFF - 0xFFFF % samples_per_frame); }
};

// Works out the timing from the header's rate field and prints the rate
// lines. A rate of 0 becomes 60 in the image's header record and file bytes.
// nullopt (after the error line) for a rate that does not divide 44100.
std::optional<FrameTiming> kadrel_timing(vgm::Console& con, vgm::VgmImage& in);

// Whole frames nearest to `t` samples: integer part of t / frame + 0.5, and
// 0 for 0.
uint32_t kadrel_frames(uint64_t t, uint16_t samples_per_frame);

// The largest rounding differences met, with their input positions.
struct RoundingStats {
    int32_t lowest = 0;  // most negative: a command moved later
    uint32_t lowest_at = 0;
    int32_t highest = 0;  // most positive outside the first frame
    uint32_t highest_at = 0;
    int32_t first_frame = 0;  // most positive in the first frame
    uint32_t first_frame_at = 0;
};

// Walks the stream of `in` into `out` with every wait rebuilt on frames.
RoundingStats kadrel_walk(vgm::Console& con, const vgm::VgmImage& in, const FrameTiming& timing,
                          vgm::OutputState& out);

// The whole program: returns its exit code.
int kadrel_run(int argc, char** argv, vgm::Console& con);
