// The writer that the rewriting programs share: an output buffer whose new
// command stream starts where the input's did, the loop point carried from
// input to output positions, and the header rebuilt in front of the stream
// with the GD3 tag carried behind it.
//
// A rewrite goes:
//   OutputState out(image);
//   for each command at input position p:
//       out.record_loop(p);           // before the command's output
//       out.copy_input(p, len) / out.append(...) / out.put(...);
//   finish_output(con, out, image, kLoopWarning);
//   out.set_u32(hdr::kTotalSamples, ...);   // fields the program recomputes
//   write_output(con, output_name(...), out.bytes(), MessageStyle::A);
#pragma once

#include <cstdint>
#include <vector>

#include "vgm/bytes.h"
#include "vgm/console.h"
#include "vgm/gd3.h"
#include "vgm/loader.h"

namespace vgm {

// The loop warning of the programs that print one.
inline constexpr const char* kLoopWarning = "Warning! Failed to relocate Loop Point!";

// Output of a rewrite. The buffer holds exactly the bytes written so far, so
// the write position is its size; it grows as needed, whatever the length of
// the input. It starts holding room for the header: the input's data start
// (limited to the input's file size when the data start lies past its end).
class OutputState {
public:
    explicit OutputState(const VgmImage& in);

    uint32_t write_pos() const { return static_cast<uint32_t>(buf_.size() + run_len_); }
    // Absolute output position of the loop point; 0 while none was recorded.
    uint32_t loop_pos() const { return loop_pos_; }

    // Call for every command before its output is appended: when `in_pos` is
    // the input's loop point (absolute, never 0), the loop point of the
    // output becomes the current write position.
    void record_loop(uint32_t in_pos) {
        if (in_loop_ != 0 && in_pos == in_loop_) loop_pos_ = write_pos();
    }

    // Copies `len` bytes of the input file from `in_pos` (as far as they
    // exist). Copies of adjacent input ranges are gathered and appended in
    // one go, so a walk that copies most commands costs little per command.
    void copy_input(size_t in_pos, size_t len) {
        if (run_len_ != 0 && run_from_ + run_len_ == in_pos) {
            run_len_ += len;
        } else {
            flush();
            run_from_ = in_pos;
            run_len_ = len;
        }
        if (!in_bounds(in_.size(), run_from_, run_len_)) run_len_ = run_from_ < in_.size() ? in_.size() - run_from_ : 0;
    }

    void put(uint8_t b) {
        flush();
        buf_.push_back(b);
    }
    void put_le16(uint16_t v) {
        flush();
        append_le16(buf_, v);
    }
    void append(Bytes b) {
        flush();
        buf_.insert(buf_.end(), b.begin(), b.end());
    }

    // A header field of the output (after finish_output, which copies the
    // header in). A field outside the output is not written.
    void set_u32(size_t off, uint32_t v) { store_le32(buffer(), off, v); }

    // The output so far, every copy included.
    Bytes bytes() { return buffer(); }
    std::vector<uint8_t>& buffer() {
        flush();
        return buf_;
    }

private:
    void flush() {
        if (run_len_ == 0) return;
        const auto from = in_.begin() + static_cast<ptrdiff_t>(run_from_);
        buf_.insert(buf_.end(), from, from + static_cast<ptrdiff_t>(run_len_));
        run_len_ = 0;
    }

    Bytes in_;
    std::vector<uint8_t> buf_;
    size_t run_from_ = 0;  // input range copied but not yet appended
    size_t run_len_ = 0;
    uint32_t in_loop_ = 0;
    uint32_t loop_pos_ = 0;
};

// Appends the input's GD3 tag, if it has a valid one, behind the output and
// sets the output's GD3 offset field (0x14) to it. Without a valid tag
// nothing changes. A tag whose length runs past the end of the input is
// carried as far as it exists (see append_gd3). Returns whether a tag was
// carried.
bool carry_gd3(OutputState& out, const VgmImage& in);

// Finishes the output after the walk:
// 1. when the input has a loop point and none was recorded, prints
//    `loop_warning` as a line (pass nullptr for programs without one);
// 2. copies the input's stored header (file bytes 0 up to the data start);
// 3. sets the loop offset field (0x1C) from the recorded loop point, 0 when
//    none was recorded;
// 4. carries the GD3 tag (carry_gd3);
// 5. sets the EOF offset field (0x04) to the output size - 4.
// Returns the output size. The program then sets the fields it recomputes.
uint32_t finish_output(Console& con, OutputState& out, const VgmImage& in, const char* loop_warning);

}  // namespace vgm
