// Little-endian byte access over spans. Every read is bounds-checked: a read
// that would run past the end of the buffer yields false (ByteReader) or 0
// (load_le*), and never touches memory outside the span.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vgm {

using Bytes = std::span<const uint8_t>;

// True when [off, off + len) lies inside a buffer of `size` bytes.
constexpr bool in_bounds(size_t size, uint64_t off, uint64_t len) {
    return off <= size && len <= size - off;
}

inline uint8_t load_u8(Bytes b, size_t off) { return off < b.size() ? b[off] : 0; }

inline uint16_t load_le16(Bytes b, size_t off) {
    if (!in_bounds(b.size(), off, 2)) return 0;
    return static_cast<uint16_t>(b[off] | (b[off + 1] << 8));
}

inline uint32_t load_le32(Bytes b, size_t off) {
    if (!in_bounds(b.size(), off, 4)) return 0;
    return static_cast<uint32_t>(b[off]) | (static_cast<uint32_t>(b[off + 1]) << 8) |
           (static_cast<uint32_t>(b[off + 2]) << 16) | (static_cast<uint32_t>(b[off + 3]) << 24);
}

// Stores are checked too: a store outside the buffer is dropped and reported.
inline bool store_le16(std::span<uint8_t> b, size_t off, uint16_t v) {
    if (!in_bounds(b.size(), off, 2)) return false;
    b[off] = static_cast<uint8_t>(v);
    b[off + 1] = static_cast<uint8_t>(v >> 8);
    return true;
}

inline bool store_le32(std::span<uint8_t> b, size_t off, uint32_t v) {
    if (!in_bounds(b.size(), off, 4)) return false;
    for (int i = 0; i < 4; ++i) b[off + i] = static_cast<uint8_t>(v >> (8 * i));
    return true;
}

inline void append_le16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

inline void append_le32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A cursor over a byte span. Each read checks what is left first; a read that
// does not fit fails and leaves the position where it was.
class ByteReader {
public:
    explicit ByteReader(Bytes data, size_t pos = 0) : data_(data), pos_(pos <= data.size() ? pos : data.size()) {}

    bool u8(uint8_t& v) {
        if (remaining() < 1) return false;
        v = data_[pos_++];
        return true;
    }
    bool u16le(uint16_t& v) {
        if (remaining() < 2) return false;
        v = load_le16(data_, pos_);
        pos_ += 2;
        return true;
    }
    bool u32le(uint32_t& v) {
        if (remaining() < 4) return false;
        v = load_le32(data_, pos_);
        pos_ += 4;
        return true;
    }
    bool skip(size_t n) {
        if (remaining() < n) return false;
        pos_ += n;
        return true;
    }
    // A view of the next n bytes, consumed; fails when fewer are left.
    bool take(size_t n, Bytes& out) {
        if (remaining() < n) return false;
        out = data_.subspan(pos_, n);
        pos_ += n;
        return true;
    }

    size_t pos() const { return pos_; }
    size_t remaining() const { return data_.size() - pos_; }
    bool at_end() const { return pos_ >= data_.size(); }
    Bytes data() const { return data_; }

private:
    Bytes data_;
    size_t pos_;
};

}  // namespace vgm
