#include "halvik.h"

#include <algorithm>

#include "vgm/commands.h"
#include "vgm/program.h"
#include "vgm/gd3.h"
#include "vgm/output.h"
#include "vgm/wait_encoder.h"

using namespace vgm;

namespace {

constexpr FrontEnd kFrontEnd{"halvik", true, 1, 0, FixupProfile::Short};

constexpr uint32_t kClockMask = ~kDualChipBit;

// Fields that describe a chip beside its clock: a second instance that does
// not exist must not keep them.
struct Companion {
    int chip;
    size_t first;
    size_t count;
};
constexpr Companion kCompanions[] = {
    {chip::SN76496, hdr::kSnFeedback, 4},   // feedback, shift width, flags
    {chip::YM2203, hdr::kYm2203AyFlags, 1},
    {chip::YM2608, hdr::kYm2608AyFlags, 1},
    {chip::AY8910, hdr::kAy8910Type, 2},    // chip type, flags
    {chip::OKIM6258, hdr::kOkim6258Flags, 1},
    {chip::K054539, hdr::kK054539Flags, 1},
    {chip::C140, hdr::kC140Type, 1},
};

void make_headers(const VgmHeader& in, SplitOutputs& out) {
    out[0].header = in;
    out[1].header = in;
    for (int c = 0; c < kChipCount; ++c) {
        const size_t off = kChips[static_cast<size_t>(c)].clock_offset;
        const uint32_t clock = in.u32(off);
        out[0].header.set_u32(off, clock & kClockMask);
        if (clock & kDualChipBit) {
            out[1].header.set_u32(off, clock & kClockMask);
            continue;
        }
        out[1].header.set_u32(off, 0);
        for (const auto& comp : kCompanions)
            if (comp.chip == c)
                for (size_t i = 0; i < comp.count; ++i) out[1].header.set_u8(comp.first + i, 0);
    }
}

class Splitter {
public:
    Splitter(const VgmImage& img, Console& con, SplitOutputs& out) : img_(img), con_(con), out_(out) {}
    void run();

private:
    // Brings an output's waits up to the running sample time.
    void catch_up(ChipOutput& o) {
        encode_wait(o.buf, time_ - o.last_sample, &o.dac_merge);
        o.last_sample = time_;
    }
    // Appends the command at `pos` to output k; for output 1 the command is
    // rewritten into its first-instance form.
    void route(int k, uint32_t pos, uint32_t len);

    const VgmImage& img_;
    Console& con_;
    SplitOutputs& out_;
    uint32_t time_ = 0;  // samples of all waits read so far
};

void Splitter::run() {
    const Bytes in = img_.data();
    const uint32_t size = img_.file_size;
    const uint32_t start = img_.data_start();
    const uint32_t loop = img_.header.loop();
    if (start >= size) return;  // no command stream
    for (auto& o : out_) {
        o.buf.reserve(size + size / 16 + 64);
        o.buf.resize(start);  // room for the header
    }
    uint32_t pos = start;
    while (pos < size) {
        if (loop != 0 && pos == loop) {
            for (auto& o : out_) {
                catch_up(o);
                o.loop_pos = static_cast<uint32_t>(o.buf.size());
                // Samples after the loop point must not go into a DAC write
                // before it: they would be skipped on every repeat.
                o.dac_merge = false;
            }
        }
        const uint8_t op = in[pos];
        if (op == cmd::kEnd) break;
        const uint32_t len = command_length(in, pos, kLongReservedReporting);
        if (!command_fits(size, pos, len)) break;  // cut off by the end of the file
        if (op == cmd::kWait) {
            time_ += load_le16(in, pos + 1);
        } else if (op == cmd::kWait735) {
            time_ += 735;
        } else if (op == cmd::kWait882) {
            time_ += 882;
        } else if (op >= 0x70 && op <= 0x7F) {
            time_ += (op & 0x0Fu) + 1;
        } else if (op >= 0x80 && op <= 0x8F) {
            route(0, pos, 1);
            time_ += op & 0x0Fu;
        } else if (!has_defined_length(op)) {
            print_unknown_command(con_, op);
            route(0, pos, 1);
        } else {
            bool second = false;
            if (op == 0x30 || op == 0x3F || (op >= 0xA1 && op <= 0xAF))
                second = true;
            else if (op == cmd::kDataBlock)
                second = (in[pos + 6] & 0x80) != 0;
            else if (op == 0xA0 || (op >= 0xB0 && op <= 0xDF))
                second = (in[pos + 1] & 0x80) != 0;
            route(second ? 1 : 0, pos, len);
        }
        pos += len;
    }
    for (auto& o : out_) {
        if (!o.has_data) continue;
        catch_up(o);
        o.buf.push_back(cmd::kEnd);
    }
}

void Splitter::route(int k, uint32_t pos, uint32_t len) {
    ChipOutput& o = out_[static_cast<size_t>(k)];
    const Bytes in = img_.data();
    const uint8_t op = in[pos];
    catch_up(o);
    o.has_data = true;
    o.dac_merge = op >= 0x80 && op <= 0x8F;
    const size_t at = o.buf.size();
    if (o.dac_merge) {
        o.buf.push_back(0x80);  // its wait is written as waits of its own
        return;
    }
    o.buf.insert(o.buf.end(), in.begin() + pos, in.begin() + pos + len);
    if (k == 0) return;
    uint8_t* c = o.buf.data() + at;
    if (op == 0x30)
        c[0] = 0x50;
    else if (op == 0x3F)
        c[0] = 0x4F;
    else if (op >= 0xA1 && op <= 0xAF)
        c[0] = static_cast<uint8_t>(op - 0x50);
    else if (op == cmd::kDataBlock)
        c[6] &= 0x7F;
    else
        c[1] &= 0x7F;
}

// Offsets back to relative form and the header in front of the stream.
void finish(ChipOutput& o, const VgmImage& img) {
    VgmHeader& h = o.header;
    const uint32_t size = static_cast<uint32_t>(o.buf.size());
    const uint32_t start = img.data_start();
    h.set_u32(hdr::kEofOffset, size - 4);
    h.set_u32(hdr::kGd3Offset, h.gd3() ? h.gd3() - static_cast<uint32_t>(hdr::kGd3Offset) : 0);
    // An input loop point that is not the start of a command gives no loop
    // rather than one into the wrong place. The loop samples stay as stored.
    h.set_u32(hdr::kLoopOffset, o.loop_pos ? o.loop_pos - static_cast<uint32_t>(hdr::kLoopOffset) : 0);
    h.set_u32(hdr::kDataOffset, start - static_cast<uint32_t>(hdr::kDataOffset));
    const size_t head = std::min<size_t>(start, hdr::kSize);
    std::copy_n(h.bytes.begin(), head, o.buf.begin());
    if (start > hdr::kSize)
        std::copy(img.bytes.begin() + hdr::kSize, img.bytes.begin() + start, o.buf.begin() + hdr::kSize);
}

}  // namespace

SplitOutputs halvik_split(const VgmImage& img, Console& con) {
    SplitOutputs out;
    make_headers(img.header, out);
    Splitter(img, con, out).run();
    const auto tag = find_gd3_at(img.data(), img.header.gd3());
    for (auto& o : out) {
        if (!o.has_data) continue;
        // Without a valid tag the output has no GD3 offset.
        o.header.set_u32(hdr::kGd3Offset, tag ? static_cast<uint32_t>(append_gd3(o.buf, *tag)) : 0);
        finish(o, img);
    }
    return out;
}

int halvik_run(int argc, char** argv, Console& con) {
    int exit_code = 0;
    auto img = start_vgm_program(con, argc, argv, kFrontEnd, exit_code);
    if (!img) return exit_code;
    SplitOutputs out = halvik_split(*img, con);
    const std::string base = img->base_name;
    img.reset();  // the input is no longer needed
    con.print("%s", kClearLine);
    bool failed = false;
    for (unsigned k = 0; k < out.size(); ++k) {
        const std::string out_name = base + "_" + std::to_string(k) + ".vgm";
        if (out[k].has_data) {
            if (!write_output(con, out_name, out[k].buf, MessageStyle::A)) failed = true;
        } else {
            con.print("%s%s skipped (empty).\n", kClearLine, name_after_backslash(out_name).c_str());
        }
        std::vector<uint8_t>().swap(out[k].buf);
    }
    return failed ? kExitWriteFailed : 0;
}
