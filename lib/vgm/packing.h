// Compressed stream-data blocks (types 0x40-0x7E) and decompression tables
// (type 0x7F) in the bit-packing format, and the bit packer that writes them.
//
// Compressed block payload (type t + 0x40 holds the data of stream type t):
//   0      compression type: 0x00 bit packing
//   1..4   uncompressed length in bytes
//   5      bits decompressed: width of one sample value (8, or 12)
//   6      bits compressed: width of one packed value (0-12)
//   7      sub-type: 0 copy, 1 shift left, 2 table
//   8..9   add value
//   10..   packed values
// A sample value is one byte when bits decompressed is 8 or less, else a
// 16-bit little-endian word; there are ceil(length / value width) of them.
//   copy:        x = v + add
//   shift left:  x = (v << (bits decompressed - bits compressed)) + add
//   table:       x = table[v], the last table block before this block
//
// Decompression table payload (type 0x7F):
//   0      compression type 0x00
//   1      sub-type 0x02
//   2      bits decompressed
//   3      bits compressed
//   4..5   value count m
//   6..    m values in ascending order, bytes or 16-bit words as above
//
// Bit stream: packed values follow one another without gaps, each byte filled
// from its most significant bit down. A value of up to 8 bits goes most
// significant bit first; a wider value goes as two groups, its low 8 bits
// first and then its high bits, each group most significant bit first. The
// unfilled bits of the last byte are 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "vgm/bytes.h"

namespace vgm::packing {

constexpr uint8_t kBitPacking = 0x00;

enum class SubType : uint8_t { Copy = 0, ShiftLeft = 1, Table = 2 };

constexpr size_t kCompressedHeaderSize = 10;
constexpr size_t kTableHeaderSize = 6;
constexpr uint8_t kMaxBitsCompressed = 16;

// Width in bytes of one sample value of `bits_decompressed` bits.
constexpr uint32_t value_width(uint8_t bits_decompressed) { return bits_decompressed > 8 ? 2 : 1; }

// Number of sample values in `length` bytes.
constexpr uint64_t value_count(uint64_t length, uint8_t bits_decompressed) {
    const uint32_t w = value_width(bits_decompressed);
    return (length + w - 1) / w;
}

// Bytes that `count` packed values of `bits` bits take.
constexpr uint64_t packed_length(uint64_t count, uint8_t bits) { return (count * bits + 7) / 8; }

struct CompressedHeader {
    uint8_t compression = kBitPacking;
    uint32_t uncompressed_length = 0;
    uint8_t bits_decompressed = 8;
    uint8_t bits_compressed = 0;
    uint8_t sub_type = 0;
    uint16_t add = 0;
};

struct TableHeader {
    uint8_t compression = kBitPacking;
    uint8_t sub_type = static_cast<uint8_t>(SubType::Table);
    uint8_t bits_decompressed = 8;
    uint8_t bits_compressed = 0;
    uint16_t count = 0;
};

// The header of a compressed block's payload; nullopt when the payload is
// shorter than the header.
inline std::optional<CompressedHeader> read_compressed_header(Bytes payload) {
    if (payload.size() < kCompressedHeaderSize) return std::nullopt;
    CompressedHeader h;
    h.compression = payload[0];
    h.uncompressed_length = load_le32(payload, 1);
    h.bits_decompressed = payload[5];
    h.bits_compressed = payload[6];
    h.sub_type = payload[7];
    h.add = load_le16(payload, 8);
    return h;
}

// Appends the 10 header bytes of a compressed block's payload.
void append_compressed_header(std::vector<uint8_t>& out, const CompressedHeader& h);

// Appends a whole decompression table block (0x67 0x66 0x7F, size, payload)
// with the values stored at the width of `bits_decompressed`.
void append_table_block(std::vector<uint8_t>& out, uint8_t bits_decompressed, uint8_t bits_compressed,
                        std::span<const uint16_t> values);

// Writes packed values of a fixed width (0-16 bits) into a buffer, in the
// bit order above. The buffer must hold packed_length(count, bits) bytes for
// `count` values; the packer never writes past its end.
class BitPacker {
public:
    BitPacker(std::span<uint8_t> out, uint8_t bits)
        : out_(out), bits_(bits), mask_(bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1) {}

    // Appends the low `bits` bits of v.
    void put(uint32_t v) {
        v &= mask_;
        // A wide value goes low byte first: as one code, its low 8 bits are
        // the leading ones.
        if (bits_ > 8) v = ((v & 0xFFu) << (bits_ - 8)) | (v >> 8);
        acc_ = (acc_ << bits_) | v;
        fill_ += bits_;
        while (fill_ >= 8) {
            fill_ -= 8;
            if (pos_ < out_.size()) out_[pos_] = static_cast<uint8_t>(acc_ >> fill_);
            ++pos_;
        }
    }

    // Writes out the last partial byte, its unfilled bits 0. Returns the
    // number of bytes written.
    size_t finish() {
        if (fill_ > 0) {
            if (pos_ < out_.size()) out_[pos_] = static_cast<uint8_t>(acc_ << (8 - fill_));
            ++pos_;
            fill_ = 0;
        }
        return pos_;
    }

private:
    std::span<uint8_t> out_;
    uint8_t bits_;
    uint32_t mask_;
    uint64_t acc_ = 0;
    unsigned fill_ = 0;  // bits in acc_ not yet written, always below 8 between calls
    size_t pos_ = 0;
};

}  // namespace vgm::packing
