// Building a new VGM file from a capture of OPL register writes: a fixed
// 128-byte version 1.51 header, 3-byte register writes, waits written only as
// 0x61 runs, the end command, and the header offsets filled in at the end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vgm/bytes.h"
#include "vgm/console.h"
#include "vgm/header.h"

namespace capture {

// Register-write commands the converters emit.
constexpr uint8_t kYm3812 = 0x5A;
constexpr uint8_t kYm3812Second = 0xAA;
constexpr uint8_t kYmf262Port0 = 0x5E;
constexpr uint8_t kYmf262Port1 = 0x5F;

constexpr uint32_t kHeaderBytes = 0x80;  // the commands start here
constexpr uint32_t kYm3812Hz = 3579545;
constexpr uint32_t kYmf262Hz = 14318180;

// The largest count one 0x61 command holds.
constexpr uint32_t kMaxWait = 0xFFFF;

class VgmFileBuilder {
public:
    // `expected_size` is only a hint for the first allocation; the buffer
    // grows as the file does.
    explicit VgmFileBuilder(size_t expected_size = 0);

    // The header record. Converters set total samples, rate and clocks here;
    // only its first 128 bytes end up in the file.
    vgm::VgmHeader& header() { return header_; }
    const vgm::VgmHeader& header() const { return header_; }

    void register_write(uint8_t command, uint8_t reg, uint8_t value);

    // Brings the samples written up to `target` with 0x61 commands; a target
    // that is not ahead of them writes nothing.
    void wait_up_to(uint32_t target);

    // Writes `count` samples as 0x61 commands.
    void append_samples(uint32_t count);

    uint32_t samples_written() const { return samples_; }

    // Appends 0x66 and fills in the header: EOF offset, data offset and, when
    // `loop` is set, a loop over the whole song (loop samples = the total
    // samples in the header record). Set the total samples before this.
    void finish(bool loop);

    // The file bytes so far (after finish(): the whole file).
    vgm::Bytes file() const { return out_; }

private:
    void append_wait_run(uint32_t count);

    vgm::VgmHeader header_;
    std::vector<uint8_t> out_;
    uint32_t samples_ = 0;
};

// Integer part of a non-negative single-precision value, kept to 32 bits
// (the low 32 bits of the 64-bit integer part when it is larger).
uint32_t float_to_u32(float v);

// The output name: the explicit name when given and not empty, otherwise the
// input name cut at its last '.' followed by ".vgm".
std::string vgm_output_name(const std::string& input, const char* explicit_name);

// Writes the finished file in one piece ("File written." as a line). A file
// that cannot be written leaves nothing behind and is reported; the result is
// the program's exit code.
int write_vgm_file(vgm::Console& con, const std::string& name, vgm::Bytes file);

// Reads a capture file whole. Prints "Error opening the file!" when it cannot
// be opened or read.
bool read_capture(vgm::Console& con, const std::string& name, std::vector<uint8_t>& data);

}  // namespace capture
