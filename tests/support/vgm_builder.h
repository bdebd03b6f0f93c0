// Builds VGM files byte by byte for the tests.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace testvgm {

using ByteVec = std::vector<uint8_t>;

class VgmBuilder {
public:
    // A header of `header_size` bytes (0x40 for old versions, 0x80 or 0x100
    // for newer ones), with the data offset pointing right behind it when the
    // version has that field.
    explicit VgmBuilder(uint32_t version = 0x151, uint32_t header_size = 0x80);

    VgmBuilder& u8(size_t off, uint8_t v);
    VgmBuilder& u16(size_t off, uint16_t v);
    VgmBuilder& u32(size_t off, uint32_t v);
    VgmBuilder& clock(size_t off, uint32_t hz) { return u32(off, hz); }

    // Appends stream bytes.
    VgmBuilder& cmd(std::initializer_list<uint8_t> bytes);
    VgmBuilder& raw(const ByteVec& bytes);
    VgmBuilder& wait(uint32_t samples);  // as 0x61 commands
    VgmBuilder& end() { return cmd({0x66}); }
    VgmBuilder& data_block(uint8_t type, const ByteVec& payload, bool second = false);
    // Marks the loop point at the current end of the stream.
    VgmBuilder& loop_here();
    // A GD3 tag after the stream; the strings are ASCII and stored as UTF-16LE.
    VgmBuilder& gd3(std::initializer_list<std::string> fields);
    // Header totals: set explicitly (they are not derived from the stream).
    VgmBuilder& total_samples(uint32_t n) { return u32(0x18, n); }
    VgmBuilder& loop_samples(uint32_t n) { return u32(0x20, n); }

    size_t stream_pos() const { return header_size_ + stream_.size(); }
    ByteVec build() const;

private:
    ByteVec header_;
    ByteVec stream_;
    ByteVec gd3_;
    uint32_t header_size_;
    int64_t loop_at_ = -1;
};

// A 12-byte GD3 header and its UTF-16LE fields, each ending in a zero word.
ByteVec gd3_block(const std::vector<std::u16string>& fields);
ByteVec gd3_block_ascii(std::initializer_list<std::string> fields);

ByteVec gzip(const ByteVec& data);
ByteVec gunzip(const ByteVec& data);

}  // namespace testvgm
