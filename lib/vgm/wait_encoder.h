// Turning a number of samples into wait commands.
//
//   0x70-0x7F       wait 1-16 samples
//   0x62 / 0x63     wait 735 / 882 samples (one frame at 60 / 50 Hz)
//   0x61 nn nn      wait a 16-bit count
//   0x80-0x8F       YM2612 DAC write, then wait 0-15 samples
//
// The encoder appends the shortest usual sequence for a wait of any length.
// When the byte just appended is a DAC write 0x80 whose low nibble is still
// free, the first samples of the wait can be folded into it.
#pragma once

#include <cstdint>
#include <vector>

namespace vgm {

// The two wait tables in use. Standard: two frame waits in a row only for
// exactly 1470 or 1764 samples. WideDoubleFrames also takes 0x62 0x62 for
// 1470-1486 and 0x63 0x63 for 1764-1780, leaving the rest for the next pass.
enum class WaitTable { Standard, WideDoubleFrames };

// Appends wait commands for `samples` to `out`. When `dac_merge` is given and
// true, out.back() must be a 0x80 DAC write with a zero low nibble: up to 15
// samples are folded into it and the flag is cleared. A wait of 0 appends
// nothing and leaves the flag as it is. At most three bytes are appended per
// 65535 samples, plus at most three for the rest.
void encode_wait(std::vector<uint8_t>& out, uint32_t samples, bool* dac_merge = nullptr,
                 WaitTable table = WaitTable::Standard);

}  // namespace vgm
