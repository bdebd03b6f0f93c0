// An output stream that gathers copies of adjacent source ranges and appends
// them in one go, so that a walk which copies most commands one at a time
// costs little per command. The buffer grows as needed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "vgm/bytes.h"

namespace pelmora {

class StreamOut {
public:
    // `expected` is room to reserve: what the output will most likely need.
    StreamOut(vgm::Bytes src, size_t expected) : src_(src) { buf_.reserve(expected); }

    size_t size() const { return buf_.size() + run_len_; }

    // Copies src[pos, pos + len); the range must lie inside the source.
    void copy(size_t pos, size_t len) {
        if (run_len_ != 0 && run_from_ + run_len_ == pos) {
            run_len_ += len;
            return;
        }
        flush();
        run_from_ = pos;
        run_len_ = len;
    }
    void put(uint8_t b) {
        flush();
        buf_.push_back(b);
    }
    void append(vgm::Bytes b) {
        flush();
        buf_.insert(buf_.end(), b.begin(), b.end());
    }
    // Direct access for encoders that append to a vector.
    std::vector<uint8_t>& buffer() {
        flush();
        return buf_;
    }
    std::vector<uint8_t> take() {
        flush();
        return std::move(buf_);
    }

private:
    void flush() {
        if (run_len_ == 0) return;
        const auto from = src_.begin() + static_cast<ptrdiff_t>(run_from_);
        buf_.insert(buf_.end(), from, from + static_cast<ptrdiff_t>(run_len_));
        run_len_ = 0;
    }

    vgm::Bytes src_;
    std::vector<uint8_t> buf_;
    size_t run_from_ = 0;
    size_t run_len_ = 0;
};

}  // namespace pelmora
