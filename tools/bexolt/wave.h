// Reading 16-bit PCM RIFF WAVE files: where the samples are and how loud the
// loudest one is.
//
//   "RIFF" u32 size "WAVE"
//   "fmt " u32 S    u16 format tag (1 = integer PCM), u16 channels,
//                   u32 rate, u32 byte rate, u16 block align, u16 bits
//   then, from the end of the format chunk (its start + S), chunks of
//   4-byte id, u32 size and size bytes, until the one named "data".
//
// The format chunk must come first. Chunk sizes are taken as stored (no
// padding to an even size).
#pragma once

#include <cstdint>

#include "vgm/bytes.h"

namespace bexolt {

enum class WaveStatus { Ok, NoRiff, NoWave, BadFormat, Compressed, Not16Bit, NoData };

struct WaveData {
    WaveStatus status = WaveStatus::NoRiff;
    uint64_t pos = 0;   // first byte of the samples
    uint32_t size = 0;  // the data chunk's size as stored
};

// Finds the sample data of a whole WAVE file. Fields cut off by the end of
// the file fail the check they belong to (the signatures, the format chunk);
// a chunk walk that runs into the end finds no data.
WaveData find_wave_data(vgm::Bytes file);

// The console text of a failed parse (nullptr for Ok).
const char* wave_message(WaveStatus status);

// The largest magnitude of the 16-bit signed samples from `pos`: samples are
// read while fewer than `size` bytes have been read, and never past the end
// of the file. -32768 has the magnitude 0x8000; no samples give 0.
uint16_t wave_peak(vgm::Bytes file, uint64_t pos, uint32_t size);

}  // namespace bexolt
