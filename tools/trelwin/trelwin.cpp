#include "trelwin.h"

#include <strings.h>

#include <algorithm>
#include <span>

#include "vgm/commands.h"
#include "vgm/frontend.h"
#include "vgm/output.h"

using namespace vgm;

namespace {

constexpr uint8_t kOpl2 = 0x5A;        // YM3812, first instance
constexpr uint8_t kOpl2Second = 0xAA;  // YM3812, second instance (dual bit set)
constexpr uint8_t kOpl3Port0 = 0x5E;
constexpr uint8_t kOpl3Port1 = 0x5F;

// A panned dual OPL2: both the dual-chip and the variant bit set.
constexpr uint32_t kPannedDual = 0xC0000000;

struct ModeOption {
    const char* text;
    OplMode mode;
};
constexpr ModeOption kModeOptions[] = {
    {"-32", OplMode::OplToSingle},
    {"-3d2", OplMode::OplToDual},
    {"-d22", OplMode::DualToSingle},
    {"-d23", OplMode::DualToOpl3},
};

std::optional<OplMode> mode_option(const char* arg) {
    for (const auto& o : kModeOptions)
        if (strcasecmp(arg, o.text) == 0) return o.mode;
    return std::nullopt;
}

void print_usage(Console& con) {
    con.line("Usage: trelwin -mode input.vgm [output.vgm]");
    con.line("Modes:");
    con.line("    32  - OPL3 -> (Single) OPL2");
    con.line("    3d2 - OPL3 -> Dual OPL2");
    con.line("    d22 - Dual OPL2 -> Single OPL2");
    con.line("    d23 - Dual OPL2 -> OPL3");
}

bool from_opl3(OplMode m) { return m == OplMode::OplToSingle || m == OplMode::OplToDual; }

// Channel registers (0x20-0xFF): the first OPL2 is OPL3 port 1 and output
// bit 4 of 0xC0-0xC8, the second OPL2 is port 0 and bit 5. Registers
// 0x00-0x1F (test, timers, CSM, 4-op and OPL3 mode) have rules of their own.
class OplWalk {
public:
    OplWalk(VgmImage& img, OplMode mode, Console& con) : img_(img), mode_(mode), con_(con) {}
    void run();

private:
    void opl3_to_single(uint32_t pos);
    void opl3_to_dual(uint32_t pos);
    void dual_to_opl3(uint32_t pos, bool second);
    void finish_compaction(uint32_t read);

    VgmImage& img_;
    OplMode mode_;
    Console& con_;
    std::span<uint8_t> b_;
    // Mode d22: the stream is compacted in place.
    uint16_t last_first_write_ = 0xFFFF;
    uint32_t write_ = 0;
    uint32_t new_loop_ = 0;
};

void OplWalk::run() {
    b_ = std::span<uint8_t>(img_.bytes);
    const uint32_t size = img_.file_size;
    const bool dual_opl2 = (img_.header.u32(hdr::kYm3812Clock) & kDualChipBit) != 0;
    const bool compact = mode_ == OplMode::DualToSingle;
    const uint32_t loop = img_.header.loop();
    uint32_t pos = img_.data_start();
    if (pos >= size) {
        // No command stream at all: only the offsets are made to fit.
        write_ = size;
        if (compact) finish_compaction(size);
        return;
    }
    write_ = pos;
    while (pos < size) {
        const uint8_t op = b_[pos];
        const uint32_t len = command_length(img_.data(), pos, kShortReservedReporting);
        if (!command_fits(size, pos, len)) break;  // cut off: moved with the tail
        if (compact && loop != 0 && pos == loop) new_loop_ = write_;
        if (!has_defined_length(op)) print_unknown_command(con_, op);
        bool drop = false;
        switch (mode_) {
            case OplMode::OplToSingle:
                if (op == kOpl3Port0 || op == kOpl3Port1) opl3_to_single(pos);
                break;
            case OplMode::OplToDual:
                if (op == kOpl3Port0 || op == kOpl3Port1) opl3_to_dual(pos);
                break;
            case OplMode::DualToOpl3:
                if (op == kOpl2) dual_to_opl3(pos, false);
                else if (op == kOpl2Second && dual_opl2) dual_to_opl3(pos, true);
                break;
            case OplMode::DualToSingle: {
                if (op != kOpl2 && !(op == kOpl2Second && dual_opl2)) break;
                const uint16_t value = static_cast<uint16_t>(b_[pos + 1] << 8 | b_[pos + 2]);
                if (op == kOpl2) {
                    last_first_write_ = value;
                } else {
                    drop = true;
                    if (value != last_first_write_)
                        con_.print("Warning at Pos 0x%04X: different OPL writes (%04X != %04X)\n", pos,
                                   last_first_write_, value);
                }
                break;
            }
        }
        if (compact && !drop) {
            if (write_ != pos) std::copy(b_.begin() + pos, b_.begin() + pos + len, b_.begin() + write_);
            write_ += len;
        }
        pos += len;
        if (op == cmd::kEnd) break;
    }
    if (compact) finish_compaction(pos);
}

void OplWalk::opl3_to_single(uint32_t pos) {
    if (b_[pos] == kOpl3Port0) {
        b_[pos] = kOpl2;
        return;
    }
    // Port 1 has no OPL2 counterpart: the write becomes a wait of 0 samples.
    if (b_[pos + 1] == 0x05 && (b_[pos + 2] & 0x01))
        con_.print("Warning! True OPL3 mode enabled at 0x%06X!\n", pos);
    b_[pos] = cmd::kWait;
    b_[pos + 1] = 0x00;
    b_[pos + 2] = 0x00;
}

void OplWalk::opl3_to_dual(uint32_t pos) {
    const int port = b_[pos] & 1;
    const uint8_t r = b_[pos + 1];
    uint8_t& d = b_[pos + 2];
    if (r >= 0xE0) {
        // OPL2 knows only the waveforms 0-3.
        if (d & 0x04) con_.print("Warning! Waveform %02u used at 0x%06X!\n", d, pos);
    } else if (r >= 0xC0 && r <= 0xCF) {
        // Each port's channels must sound on their own OPL2's side.
        if ((port == 1 && (d & 0x20)) || (port == 0 && (d & 0x10)))
            con_.print("Warning! Stereo mismatch at 0x%06X!\n", pos);
    } else if (r == 0x01 && port == 0) {
        d |= 0x20;  // waveform select enable
    }
    if (r < 0x20)
        b_[pos] = port == 0 ? kOpl2 : kOpl2Second;
    else
        b_[pos] = port == 1 ? kOpl2 : kOpl2Second;
}

void OplWalk::dual_to_opl3(uint32_t pos, bool second) {
    const uint8_t r = b_[pos + 1];
    uint8_t& d = b_[pos + 2];
    if (r >= 0xC0 && r <= 0xCF) {
        d |= second ? 0x20 : 0x10;
        b_[pos] = second ? kOpl3Port0 : kOpl3Port1;
    } else if (r == 0x05) {
        b_[pos] = kOpl3Port1;
        d |= 0x01;  // OPL3 mode on
    } else if (r < 0x20) {
        b_[pos] = kOpl3Port0;
    } else {
        b_[pos] = second ? kOpl3Port0 : kOpl3Port1;
    }
}

// After the walk of mode d22: the bytes behind the stream (the GD3 tag and
// whatever else follows) move down behind the compacted stream, and the
// header's offsets follow. `read` is where the walk stopped in the input.
void OplWalk::finish_compaction(uint32_t read) {
    const uint32_t size = img_.file_size;
    const uint32_t loop = img_.header.loop();
    const uint32_t gd3 = img_.header.gd3();
    std::copy(b_.begin() + read, b_.begin() + size, b_.begin() + write_);
    const uint32_t new_size = write_ + (size - read);
    // A position behind the stream moves down with the tail.
    auto in_tail = [&](uint32_t p) { return p >= read && p < size; };
    auto moved = [&](uint32_t p) { return write_ + (p - read); };

    if (loop != 0) {
        uint32_t new_loop = 0;
        if (new_loop_ != 0) new_loop = new_loop_;
        else if (in_tail(loop)) new_loop = moved(loop);
        // A loop point inside a command or outside the file gives no loop
        // rather than one into the wrong place; the loop samples stay as stored.
        store_le32(b_, hdr::kLoopOffset, new_loop ? new_loop - static_cast<uint32_t>(hdr::kLoopOffset) : 0);
    }
    if (gd3 != 0) {
        // A tag elsewhere than behind the stream would point into moved
        // bytes or outside the file: the output then has no tag offset.
        const uint32_t field = in_tail(gd3) ? moved(gd3) - static_cast<uint32_t>(hdr::kGd3Offset) : 0;
        store_le32(b_, hdr::kGd3Offset, field);
    }
    store_le32(b_, hdr::kEofOffset, new_size - 4);
    img_.bytes.resize(new_size);
    img_.file_size = new_size;
    img_.header.set_u32(hdr::kEofOffset, new_size);
}

// A clock field can be rewritten only while it lies inside the header: a
// file whose data starts earlier holds commands there.
bool field_in_header(const VgmImage& img, size_t off) {
    return off + 4 <= img.data_start() && off + 4 <= img.file_size;
}

}  // namespace

std::optional<TrelwinArgs> parse_trelwin_args(int argc, char** argv) {
    if (argc < 2 || !argv[1]) return std::nullopt;
    auto mode = mode_option(argv[1]);
    if (!mode) return std::nullopt;
    int i = 2;
    for (; i < argc && argv[i]; ++i) {
        auto next = mode_option(argv[i]);
        if (!next) break;
        mode = next;
    }
    if (i >= argc || !argv[i]) return std::nullopt;
    return TrelwinArgs{*mode, i};
}

bool trelwin_set_clocks(VgmImage& img, OplMode mode, Console& con) {
    const uint32_t opl2 = img.header.u32(hdr::kYm3812Clock);
    const uint32_t opl3 = img.header.u32(hdr::kYmf262Clock);
    uint32_t new_opl2 = 0;
    uint32_t new_opl3 = opl3;
    if (from_opl3(mode)) {
        if (opl3 == 0) return false;
        if (opl3 & kDualChipBit) {
            con.line("Sorry, but I can't work with Dual OPL3!");
            return false;
        }
        new_opl2 = opl3 >> 2;
        if (mode == OplMode::OplToDual) new_opl2 += kPannedDual;
        new_opl3 = 0;
    } else if (mode == OplMode::DualToSingle) {
        if (opl2 == 0) return false;
        if (!(opl2 & kDualChipBit)) {
            con.line("Sorry, but I need DualOPL2!");
            return false;
        }
        new_opl2 = opl2 & 0x3FFFFFFF;
    } else {
        if (opl2 == 0) return false;
        if (opl2 < kPannedDual) {
            con.line("Sorry, but currently I need panned DualOPL2!");
            return false;
        }
        new_opl2 = 0;
        new_opl3 = opl2 << 2;
    }
    const bool opl3_changes = new_opl3 != opl3;
    if (!field_in_header(img, hdr::kYm3812Clock) || (opl3_changes && !field_in_header(img, hdr::kYmf262Clock))) {
        con.line("Sorry, but the header has no room for the new clocks!");
        return false;
    }
    store_le32(img.bytes, hdr::kYm3812Clock, new_opl2);
    if (opl3_changes) store_le32(img.bytes, hdr::kYmf262Clock, new_opl3);
    return true;
}

void trelwin_convert(VgmImage& img, OplMode mode, Console& con) { OplWalk(img, mode, con).run(); }

int trelwin_run(int argc, char** argv, Console& con) {
    print_banner(con, "trelwin", false);
    const auto args = parse_trelwin_args(argc, argv);
    if (!args) {
        print_usage(con);
        return 0;
    }
    const std::string name = obtain_file_name(con, argc, argv, args->input_index);
    if (name.empty()) return 0;
    auto img = load_vgm(con, name, FixupProfile::FullCopying);
    if (!img) return 1;
    if (!trelwin_set_clocks(*img, args->mode, con)) return 0;
    trelwin_convert(*img, args->mode, con);
    const char* suffix = args->mode == OplMode::DualToOpl3 ? "_opl3.vgm" : "_opl2.vgm";
    const std::string out = output_name(img->base_name, suffix, argc, argv, args->input_index + 1);
    if (!write_output(con, out, img->data(), MessageStyle::B)) return kExitWriteFailed;
    return 0;
}
