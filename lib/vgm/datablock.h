// Data blocks (0x67), data banks, PCM RAM writes (0x68) and the RF5C68 /
// RF5C164 bank window.
//
// Data block command:
//   0x67 0x66 tt ss ss ss ss <payload>
//   tt    block type (ranges below)
//   ss    size: bits 0-30 the payload length, bit 31 the second chip instance
// Types:
//   0x00-0x3F  stream data; the blocks of one type, concatenated in file order,
//              form that type's data bank
//   0x40-0x7E  compressed stream data of type t - 0x40
//   0x7F       decompression table
//   0x80-0xBF  ROM/RAM image dumps (passed through)
//   0xC0-0xDF  RAM write: 16-bit start address, then the bytes
//   0xE0-0xFF  RAM write: 32-bit start address, then the bytes
//
// PCM RAM write, 12 bytes:
//   0x68 0x66 tt rr rr rr ww ww ww nn nn nn
//   copies n bytes of data bank tt from read offset r to the chip's RAM at w
//   (each a 24-bit number).
//
// DAC stream control (ss: stream id 0x00-0xFF):
//   0x90 ss tt pp cc                 set up: chip type, port, register
//   0x91 ss dd ll bb                 data: data bank dd, step size, step base
//   0x92 ss ff ff ff ff              frequency
//   0x93 ss aa aa aa aa mm ll ll ll ll
//                                    start at bank offset a, mode m (bit 7
//                                    loop, bit 4 reverse, bits 0-1 length
//                                    mode), length l
//   0x94 ss                          stop
//   0x95 ss bb bb ff                 fast start: block id b of the stream's
//                                    bank, flags f (bit 0 loop, bit 4 reverse)
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "vgm/bytes.h"
#include "vgm/commands.h"

namespace vgm {

namespace block {
constexpr uint8_t kLastStream = 0x3F;
constexpr uint8_t kFirstCompressed = 0x40;
constexpr uint8_t kLastCompressed = 0x7E;
constexpr uint8_t kDecompressionTable = 0x7F;
constexpr uint8_t kFirstRomDump = 0x80;
constexpr uint8_t kFirstRamWrite16 = 0xC0;
constexpr uint8_t kFirstRamWrite32 = 0xE0;

constexpr uint8_t kYm2612Pcm = 0x00;
constexpr uint8_t kRf5c68Pcm = 0x01;
constexpr uint8_t kRf5c164Pcm = 0x02;
constexpr uint8_t kSample12Bit = 0x03;  // 12-bit values stored as 16-bit words
constexpr uint8_t kScspPcm = 0x06;
constexpr uint8_t kRf5c68Ram = 0xC0;
constexpr uint8_t kRf5c164Ram = 0xC1;
constexpr uint8_t kScspRam = 0xE0;

constexpr uint32_t kSecondChip = 0x80000000u;  // bit 31 of the size field
constexpr uint32_t kLengthMask = 0x7FFFFFFFu;
constexpr size_t kBankCount = 0x40;  // one data bank per stream type 0x00-0x3F
constexpr uint32_t kPcmRamWriteSize = 12;
}  // namespace block

enum class BlockClass { Stream, Compressed, Table, RomDump, RamWrite16, RamWrite32 };

constexpr BlockClass block_class(uint8_t type) {
    if (type <= block::kLastStream) return BlockClass::Stream;
    if (type <= block::kLastCompressed) return BlockClass::Compressed;
    if (type == block::kDecompressionTable) return BlockClass::Table;
    if (type < block::kFirstRamWrite16) return BlockClass::RomDump;
    if (type < block::kFirstRamWrite32) return BlockClass::RamWrite16;
    return BlockClass::RamWrite32;
}

// A data block that lies wholly inside its data.
struct DataBlock {
    size_t pos = 0;           // position of the 0x67
    uint8_t type = 0;
    uint32_t size_field = 0;  // as stored, bit 31 included
    Bytes payload;            // size_field & 0x7FFFFFFF bytes

    uint32_t length() const { return static_cast<uint32_t>(payload.size()); }
    // Whole length of the command: header and payload.
    size_t command_length() const { return cmd::kDataBlockHeaderSize + payload.size(); }
    bool second_chip() const { return (size_field & block::kSecondChip) != 0; }
    BlockClass kind() const { return block_class(type); }
    bool is_ram_write() const { return type >= block::kFirstRamWrite16; }

    // RAM-write blocks: the width of the start address (2 or 4 bytes), the
    // address, and the bytes to write behind it. A payload shorter than its
    // address gives address 0 and no data.
    size_t address_width() const { return type >= block::kFirstRamWrite32 ? 4 : 2; }
    uint32_t start_address() const {
        if (payload.size() < address_width()) return 0;
        return address_width() == 4 ? load_le32(payload, 0) : load_le16(payload, 0);
    }
    Bytes ram_data() const {
        if (payload.size() < address_width()) return {};
        return payload.subspan(address_width());
    }
    // Position of the RAM data in the file (command offset 9 or 11).
    size_t ram_data_pos() const { return pos + cmd::kDataBlockHeaderSize + address_width(); }
};

// The data block at `pos`, or nullopt when the byte there is not 0x67 or the
// block (header or payload) runs past the end of `data`.
inline std::optional<DataBlock> read_data_block(Bytes data, size_t pos) {
    if (load_u8(data, pos) != cmd::kDataBlock || !in_bounds(data.size(), pos, cmd::kDataBlockHeaderSize))
        return std::nullopt;
    DataBlock b;
    b.pos = pos;
    b.type = data[pos + 2];
    b.size_field = load_le32(data, pos + 3);
    const uint32_t length = b.size_field & block::kLengthMask;
    if (!in_bounds(data.size(), pos + cmd::kDataBlockHeaderSize, length)) return std::nullopt;
    b.payload = data.subspan(pos + cmd::kDataBlockHeaderSize, length);
    return b;
}

// The 7 header bytes of a block with a payload of `length` bytes (bit 31
// clear: the blocks the programs build address the first chip).
inline std::array<uint8_t, cmd::kDataBlockHeaderSize> data_block_header(uint8_t type, uint32_t length) {
    length &= block::kLengthMask;
    return {cmd::kDataBlock, cmd::kEnd, type, static_cast<uint8_t>(length), static_cast<uint8_t>(length >> 8),
            static_cast<uint8_t>(length >> 16), static_cast<uint8_t>(length >> 24)};
}

// Appends a whole block: header and payload.
inline void append_data_block(std::vector<uint8_t>& out, uint8_t type, Bytes payload) {
    const auto h = data_block_header(type, static_cast<uint32_t>(payload.size()));
    out.insert(out.end(), h.begin(), h.end());
    out.insert(out.end(), payload.begin(), payload.end());
}

// A PCM RAM write; each number is cut to its low 24 bits.
inline std::array<uint8_t, block::kPcmRamWriteSize> pcm_ram_write(uint8_t bank_type, uint32_t read_offset,
                                                                  uint32_t write_offset, uint32_t count) {
    auto b24 = [](uint32_t v, int i) { return static_cast<uint8_t>(v >> (8 * i)); };
    return {cmd::kPcmRamWrite, cmd::kEnd,        bank_type,          b24(read_offset, 0),
            b24(read_offset, 1), b24(read_offset, 2), b24(write_offset, 0), b24(write_offset, 1),
            b24(write_offset, 2), b24(count, 0),      b24(count, 1),        b24(count, 2)};
}

namespace stream {
constexpr uint8_t kSetup = 0x90;
constexpr uint8_t kData = 0x91;
constexpr uint8_t kFrequency = 0x92;
constexpr uint8_t kStart = 0x93;
constexpr uint8_t kStop = 0x94;
constexpr uint8_t kFastStart = 0x95;
constexpr size_t kStreamCount = 256;
constexpr uint32_t kFastStartSize = 5;
}  // namespace stream

// The stream id of a stream command (byte 1).
inline uint8_t stream_id(Bytes command) { return load_u8(command, 1); }
// The data bank a 0x91 selects (byte 2).
inline uint8_t stream_data_bank(Bytes command) { return load_u8(command, 2); }

// The fields of a stream start (0x93).
struct StreamStart {
    uint8_t stream = 0;
    uint32_t start = 0;  // bank offset
    uint8_t mode = 0;
    uint32_t length = 0;
};

inline StreamStart read_stream_start(Bytes command) {
    return {load_u8(command, 1), load_le32(command, 2), load_u8(command, 6), load_le32(command, 7)};
}

// The fast-start flags that carry a stream start's mode: loop (bit 7) moves
// to bit 0, bits 4-6 (reverse among them) stay.
constexpr uint8_t fast_start_flags(uint8_t mode) { return static_cast<uint8_t>((mode >> 7) | (mode & 0x70)); }

// A fast start (0x95) of block `block_id`.
inline std::array<uint8_t, stream::kFastStartSize> fast_start(uint8_t stream_id, uint16_t block_id,
                                                               uint8_t flags) {
    return {stream::kFastStart, stream_id, static_cast<uint8_t>(block_id), static_cast<uint8_t>(block_id >> 8),
            flags};
}

// One block of a data bank.
struct BankBlock {
    size_t pos = 0;       // position of its 0x67 command
    uint64_t offset = 0;  // bank offset: payload bytes of the earlier blocks of its type
    uint32_t length = 0;  // payload length
    uint32_t id = 0;      // index among the blocks of its type
};

// The blocks of one stream type in file order. Bank offsets are what 0x68 and
// 0x93 address; block ids what 0x95 addresses.
struct DataBank {
    std::vector<BankBlock> blocks;
    uint64_t size = 0;  // sum of the payload lengths

    bool empty() const { return blocks.empty(); }
    // The block that holds bank offset `offset`, or null past the end.
    const BankBlock* block_at(uint64_t offset) const;
    // The bank's bytes: the payloads concatenated, read from `file`.
    std::vector<uint8_t> concatenate(Bytes file) const;
};

// The data banks of a file, filled block by block during a walk.
class DataBanks {
public:
    // Adds a stream-data block (types 0x00-0x3F) to its bank; other types
    // are ignored. Returns the block's entry, or null when ignored.
    const BankBlock* add(const DataBlock& b);

    const DataBank& operator[](uint8_t type) const { return banks_[type & (block::kBankCount - 1)]; }

private:
    std::array<DataBank, block::kBankCount> banks_;
};

// Collects the banks of a command stream: every stream-data block from
// `start` up to the end command 0x66 or the end of the data.
DataBanks collect_banks(Bytes data, size_t start, WalkPolicy policy);

// The RF5C68 / RF5C164 window into 64 KiB of sample memory: memory writes
// (0xC1 / 0xC2) and RAM-write blocks (0xC0 / 0xC1) address it from the bank
// base, which a write of register 7 with bit 6 clear selects.
class RfBankBase {
public:
    static constexpr uint8_t kControlRegister = 0x07;
    static constexpr uint32_t kMemorySize = 0x10000;

    // A register write (0xB0 / 0xB1 aa dd).
    void on_register(uint8_t reg, uint8_t value) {
        if (reg == kControlRegister && (value & 0x40) == 0) base_ = (value & 0x0Fu) * 0x1000u;
    }
    uint32_t base() const { return base_; }
    // The absolute memory address of an offset from the bank base.
    uint32_t address(uint32_t offset) const { return (base_ + offset) % kMemorySize; }

private:
    uint32_t base_ = 0;
};

}  // namespace vgm
