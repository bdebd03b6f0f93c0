// A cursor over a VGM command stream: yields one whole command at a time,
// with its position, command byte and bytes, under a program's WalkPolicy.
//
//   CommandCursor cur(image.data(), image.data_start(), policy, &con);
//   for (Command c; cur.next(c);) {
//       if (c.op == cmd::kEnd) break;     // where to stop is the program's choice
//       ...
//   }
//   if (cur.cut_off()) ...                // a command ran past the end of the data
//
// A byte without a defined length is a one-byte command; the cursor prints
// what the policy asks for it before yielding it. The walk ends when the
// position reaches the end of the data, or at a command that does not fit in
// what is left: then cut_off() is true and pos() is that command's position.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vgm/bytes.h"
#include "vgm/commands.h"
#include "vgm/console.h"

namespace vgm {

struct Command {
    size_t pos = 0;    // position of the command byte in the data
    uint32_t len = 0;  // whole length, command byte included
    uint8_t op = 0;    // the command byte
    Bytes bytes;       // the whole command: len bytes from pos

    // Operand byte i (1 is the byte after the command byte); 0 past the end.
    uint8_t arg(size_t i) const { return load_u8(bytes, i); }
    size_t end() const { return pos + len; }
};

class CommandCursor {
public:
    // `con` receives the unknown-byte messages; it may be null for a policy
    // that prints nothing.
    CommandCursor(Bytes data, size_t start, WalkPolicy policy, Console* con = nullptr)
        : data_(data), pos_(start), policy_(policy), con_(con) {}

    // The next command, or false at the end of the data or at a command cut
    // off by it (the position then stays on that command).
    bool next(Command& c) {
        if (pos_ >= data_.size()) return false;
        const uint8_t op = data_[pos_];
        const uint32_t len = command_length(data_, pos_, policy_);
        if (!command_fits(data_.size(), pos_, len)) {
            cut_off_ = true;
            return false;
        }
        if (!has_defined_length(op)) report_unknown(op);
        c.pos = pos_;
        c.len = len;
        c.op = op;
        c.bytes = data_.subspan(pos_, len);
        pos_ += len;
        return true;
    }

    // True once the walk stopped at a command that runs past the end.
    bool cut_off() const { return cut_off_; }
    // Position of the next command (of the cut-off one after a cut-off stop).
    size_t pos() const { return pos_; }
    // Continues the walk at another position.
    void seek(size_t pos) {
        pos_ = pos;
        cut_off_ = false;
    }
    Bytes data() const { return data_; }
    WalkPolicy policy() const { return policy_; }

private:
    void report_unknown(uint8_t op) {
        if (con_ == nullptr || policy_.on_unknown == UnknownByte::Skip) return;
        if (policy_.on_unknown == UnknownByte::ClearThenReport) con_->print("%s", kClearLine);
        print_unknown_command(*con_, op);
    }

    Bytes data_;
    size_t pos_;
    WalkPolicy policy_;
    Console* con_;
    bool cut_off_ = false;
};

}  // namespace vgm
