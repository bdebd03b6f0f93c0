// The VGM header: the first 228 bytes of a file, a record of little-endian
// fields at fixed offsets. Offsets stored in a file are relative to their own
// field; in a loaded header record (see loader.h) they are absolute.
#pragma once

#include <array>
#include <cstdint>

#include "vgm/bytes.h"

namespace vgm {

constexpr uint32_t kVgmSignature = 0x206D6756;  // "Vgm "
constexpr uint32_t kDualChipBit = 0x40000000;   // bit 30 of a clock field
constexpr uint32_t kVariantBit = 0x80000000;    // bit 31 of a clock field
constexpr uint32_t kSamplesPerSecond = 44100;
constexpr uint32_t kFrame60 = 735;
constexpr uint32_t kFrame50 = 882;

// Byte offsets of the header fields.
namespace hdr {
constexpr size_t kSize = 0xE4;  // 228 bytes
constexpr size_t kSignature = 0x00;
constexpr size_t kEofOffset = 0x04;
constexpr size_t kVersion = 0x08;
constexpr size_t kSn76496Clock = 0x0C;
constexpr size_t kYm2413Clock = 0x10;
constexpr size_t kGd3Offset = 0x14;
constexpr size_t kTotalSamples = 0x18;
constexpr size_t kLoopOffset = 0x1C;
constexpr size_t kLoopSamples = 0x20;
constexpr size_t kRate = 0x24;
constexpr size_t kSnFeedback = 0x28;   // 16 bits
constexpr size_t kSnShiftWidth = 0x2A;  // 8 bits
constexpr size_t kSnFlags = 0x2B;       // 8 bits
constexpr size_t kYm2612Clock = 0x2C;
constexpr size_t kYm2151Clock = 0x30;
constexpr size_t kDataOffset = 0x34;
constexpr size_t kSegaPcmClock = 0x38;
constexpr size_t kSegaPcmInterface = 0x3C;
constexpr size_t kRf5c68Clock = 0x40;
constexpr size_t kYm2203Clock = 0x44;
constexpr size_t kYm2608Clock = 0x48;
constexpr size_t kYm2610Clock = 0x4C;
constexpr size_t kYm3812Clock = 0x50;
constexpr size_t kYm3526Clock = 0x54;
constexpr size_t kY8950Clock = 0x58;
constexpr size_t kYmf262Clock = 0x5C;
constexpr size_t kYmf278bClock = 0x60;
constexpr size_t kYmf271Clock = 0x64;
constexpr size_t kYmz280bClock = 0x68;
constexpr size_t kRf5c164Clock = 0x6C;
constexpr size_t kPwmClock = 0x70;
constexpr size_t kAy8910Clock = 0x74;
constexpr size_t kAy8910Type = 0x78;
constexpr size_t kAy8910Flags = 0x79;
constexpr size_t kYm2203AyFlags = 0x7A;
constexpr size_t kYm2608AyFlags = 0x7B;
constexpr size_t kVolumeModifier = 0x7C;
constexpr size_t kGameBoyClock = 0x80;
constexpr size_t kNesApuClock = 0x84;
constexpr size_t kMultiPcmClock = 0x88;
constexpr size_t kUpd7759Clock = 0x8C;
constexpr size_t kOkim6258Clock = 0x90;
constexpr size_t kOkim6258Flags = 0x94;
constexpr size_t kK054539Flags = 0x95;
constexpr size_t kC140Type = 0x96;
constexpr size_t kOkim6295Clock = 0x98;
constexpr size_t kK051649Clock = 0x9C;
constexpr size_t kK054539Clock = 0xA0;
constexpr size_t kHuC6280Clock = 0xA4;
constexpr size_t kC140Clock = 0xA8;
constexpr size_t kK053260Clock = 0xAC;
constexpr size_t kPokeyClock = 0xB0;
constexpr size_t kQSoundClock = 0xB4;
constexpr size_t kScspClock = 0xB8;
}  // namespace hdr

// The header record. Fields are read and written by offset through the
// little-endian helpers; the record is never cast from raw memory.
struct VgmHeader {
    std::array<uint8_t, hdr::kSize> bytes{};

    uint32_t u32(size_t off) const { return load_le32(bytes, off); }
    uint16_t u16(size_t off) const { return load_le16(bytes, off); }
    uint8_t u8(size_t off) const { return load_u8(bytes, off); }
    void set_u32(size_t off, uint32_t v) { store_le32(bytes, off, v); }
    void set_u16(size_t off, uint16_t v) { store_le16(bytes, off, v); }
    void set_u8(size_t off, uint8_t v) {
        if (off < bytes.size()) bytes[off] = v;
    }

    uint32_t version() const { return u32(hdr::kVersion); }
    // In a loaded header record these are absolute positions (0 = absent for
    // GD3 and loop; the data start is never 0).
    uint32_t eof() const { return u32(hdr::kEofOffset); }
    uint32_t gd3() const { return u32(hdr::kGd3Offset); }
    uint32_t loop() const { return u32(hdr::kLoopOffset); }
    uint32_t data_start() const { return u32(hdr::kDataOffset); }
};

// The 32 chip types, in the fixed order of the counter's report and of the
// dual-capable clock fields.
constexpr int kChipCount = 32;

namespace chip {
enum : int {
    SN76496, YM2413, YM2612, YM2151, SegaPCM, RF5C68, YM2203, YM2608,
    YM2610, YM3812, YM3526, Y8950, YMF262, YMF278B, YMF271, YMZ280B,
    RF5C164, PWM, AY8910, GameBoy, NESAPU, MultiPCM, uPD7759, OKIM6258,
    OKIM6295, K051649, K054539, HuC6280, C140, K053260, Pokey, QSound,
};
}  // namespace chip

struct ChipInfo {
    const char* name;
    uint8_t clock_offset;
};

constexpr std::array<ChipInfo, kChipCount> kChips = {{
    {"SN76496", 0x0C}, {"YM2413", 0x10},   {"YM2612", 0x2C},   {"YM2151", 0x30},
    {"SegaPCM", 0x38}, {"RF5C68", 0x40},   {"YM2203", 0x44},   {"YM2608", 0x48},
    {"YM2610", 0x4C},  {"YM3812", 0x50},   {"YM3526", 0x54},   {"Y8950", 0x58},
    {"YMF262", 0x5C},  {"YMF278B", 0x60},  {"YMF271", 0x64},   {"YMZ280B", 0x68},
    {"RF5C164", 0x6C}, {"PWM", 0x70},      {"AY8910", 0x74},   {"GameBoy", 0x80},
    {"NES APU", 0x84}, {"MultiPCM", 0x88}, {"uPD7759", 0x8C},  {"OKIM6258", 0x90},
    {"OKIM6295", 0x98}, {"K051649", 0x9C}, {"K054539", 0xA0},  {"HuC6280", 0xA4},
    {"C140", 0xA8},    {"K053260", 0xAC},  {"Pokey", 0xB0},    {"QSound", 0xB4},
}};

// Chip index of the register-write commands 0x51-0x5F (first instance), -1
// for bytes of that range that address no chip. 0xA1-0xAF map to the same
// chip as (byte - 0x50) when that chip's clock has the dual-chip bit.
constexpr int chip_of_5x(uint8_t op) {
    switch (op) {
        case 0x51: return chip::YM2413;
        case 0x52: case 0x53: return chip::YM2612;
        case 0x54: return chip::YM2151;
        case 0x55: return chip::YM2203;
        case 0x56: case 0x57: return chip::YM2608;
        case 0x58: case 0x59: return chip::YM2610;
        case 0x5A: return chip::YM3812;
        case 0x5B: return chip::YM3526;
        case 0x5C: return chip::Y8950;
        case 0x5D: return chip::YMZ280B;
        case 0x5E: case 0x5F: return chip::YMF262;
        default: return -1;
    }
}

// Clock field of a chip in a header record.
inline uint32_t chip_clock(const VgmHeader& h, int chip_index) {
    return h.u32(kChips[static_cast<size_t>(chip_index)].clock_offset);
}

}  // namespace vgm
