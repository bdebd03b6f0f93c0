// The VGM command set: the length of every command byte, one table for every
// walk. The programs differ in two points only, which a WalkPolicy carries.
#pragma once

#include <array>
#include <cstdint>

#include "vgm/bytes.h"

namespace vgm {

namespace cmd {
constexpr uint8_t kWait = 0x61;       // 0x61 nn nn
constexpr uint8_t kWait735 = 0x62;
constexpr uint8_t kWait882 = 0x63;
constexpr uint8_t kEnd = 0x66;
constexpr uint8_t kDataBlock = 0x67;  // 0x67 0x66 tt ss ss ss ss, then the data
constexpr uint8_t kPcmRamWrite = 0x68;
constexpr uint8_t kDataBlockHeaderSize = 7;
}  // namespace cmd

// What a walk does with a byte that has no defined length (it always counts
// as a one-byte command).
enum class UnknownByte : uint8_t {
    Skip,             // step over it without a word
    Report,           // print "Unknown Command: %X\n"
    ClearThenReport,  // print the clearing sequence, then "Unknown Command: %X\n"
};

// How a program's walk treats the points where the walks differ.
struct WalkPolicy {
    uint8_t len_40_4e;       // length of the reserved commands 0x40-0x4E: 2 or 3
    UnknownByte on_unknown;  // what a byte without a defined length prints
};

constexpr WalkPolicy kShortReservedReporting{2, UnknownByte::Report};
constexpr WalkPolicy kShortReservedSilent{2, UnknownByte::Skip};
constexpr WalkPolicy kShortReservedClearReporting{2, UnknownByte::ClearThenReport};
constexpr WalkPolicy kLongReservedReporting{3, UnknownByte::Report};
constexpr WalkPolicy kLongReservedSilent{3, UnknownByte::Skip};

namespace detail {
// 0 marks a byte without a defined length. 0x67 holds its header length.
constexpr std::array<uint8_t, 256> make_length_table() {
    std::array<uint8_t, 256> t{};
    for (int b = 0x30; b <= 0x3F; ++b) t[b] = 2;
    for (int b = 0x40; b <= 0x4E; ++b) t[b] = 3;
    t[0x4F] = 2;
    t[0x50] = 2;
    for (int b = 0x51; b <= 0x5F; ++b) t[b] = 3;
    t[0x61] = 3;
    t[0x62] = 1;
    t[0x63] = 1;
    t[0x66] = 1;
    t[0x67] = cmd::kDataBlockHeaderSize;
    t[0x68] = 12;
    for (int b = 0x70; b <= 0x8F; ++b) t[b] = 1;
    t[0x90] = 5;
    t[0x91] = 5;
    t[0x92] = 6;
    t[0x93] = 11;
    t[0x94] = 2;
    t[0x95] = 5;
    for (int b = 0xA0; b <= 0xBF; ++b) t[b] = 3;
    for (int b = 0xC0; b <= 0xDF; ++b) t[b] = 4;
    for (int b = 0xE0; b <= 0xFF; ++b) t[b] = 5;
    return t;
}
}  // namespace detail

constexpr std::array<uint8_t, 256> kCommandLength = detail::make_length_table();

constexpr bool has_defined_length(uint8_t op) { return kCommandLength[op] != 0; }

// Total length of the command at `pos` (command byte and operands). A byte
// without a defined length counts as one byte. For a data block the size is
// read from bytes 3-6 (bit 31, the second-instance flag, cleared); a block
// whose size field is cut off by the end of the data gives the 7-byte header
// length, which itself runs past the end. The result may
// run past the end of `data`: callers check it with command_fits().
inline uint32_t command_length(Bytes data, size_t pos, WalkPolicy policy) {
    if (pos >= data.size()) return 1;
    const uint8_t op = data[pos];
    if (op >= 0x40 && op <= 0x4E) return policy.len_40_4e;
    if (op == cmd::kDataBlock) {
        if (!in_bounds(data.size(), pos + 3, 4)) return cmd::kDataBlockHeaderSize;
        return cmd::kDataBlockHeaderSize + (load_le32(data, pos + 3) & 0x7FFFFFFF);
    }
    const uint8_t len = kCommandLength[op];
    return len ? len : 1;
}

// True when a command of `len` bytes at `pos` ends inside the data.
constexpr bool command_fits(size_t size, size_t pos, uint64_t len) { return in_bounds(size, pos, len); }

// Samples waited by a wait command (0x61, 0x62, 0x63, 0x70-0x7F; 0x80-0x8F
// wait their low nibble after the DAC write); 0 for every other command.
inline uint32_t wait_samples(Bytes data, size_t pos) {
    const uint8_t op = load_u8(data, pos);
    if (op == cmd::kWait) return load_le16(data, pos + 1);
    if (op == cmd::kWait735) return 735;
    if (op == cmd::kWait882) return 882;
    if (op >= 0x70 && op <= 0x7F) return (op & 0x0F) + 1u;
    if (op >= 0x80 && op <= 0x8F) return op & 0x0Fu;
    return 0;
}

}  // namespace vgm
