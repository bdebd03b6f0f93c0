#include "ulvane.h"

#include <algorithm>
#include <array>
#include <span>

#include "vgm/commands.h"
#include "vgm/program.h"
#include "vgm/output.h"

using namespace vgm;

namespace {

constexpr FrontEnd kFrontEnd{"ulvane", false, 1, 0, FixupProfile::FullCopying};

// Bits 7 and 6 of a pan register switch the two sides on.
constexpr uint8_t kBothSides = 0xC0;
constexpr uint8_t kOneSide = 0x40;

// Centre-pan table entries. FM channels of YM2612 and YM2610 use 0-5
// (3 x port + channel), YM2151 channels 0-7, YM2610 ADPCM-A 6-13 and
// ADPCM-B 12: the table is shared by all chips and both instances.
constexpr int kAdpcmA = 6;
constexpr int kAdpcmB = 12;

constexpr int kX1010Channels = 16;

class MonoWalk {
public:
    MonoWalk(VgmImage& img, Console& con) : img_(img), con_(con) {}
    void run();

private:
    void fm_opn(uint32_t pos, int port, bool ym2610);
    void ym2151(uint32_t pos);
    void rf5c68(uint32_t pos);
    void multipcm(uint32_t pos);
    void multipcm_bank(uint32_t pos);
    void x1010(uint32_t pos);
    void ymf278b(uint32_t pos);

    // A pan write on entry e: both sides on is remembered (a mono file
    // cannot have it on purpose, it is reported at the next key-on); one
    // side on is widened to both.
    void pan(uint32_t pos, uint8_t& d, int e) {
        if (d >= kBothSides) {
            centre_[e] = pos;
            return;
        }
        centre_[e] = 0;
        if (d >= kOneSide) d |= kBothSides;
    }
    void key_on(uint32_t pos, int e) {
        if (centre_[e] == 0) return;
        stereo_warning(centre_[e], pos);
        centre_[e] = 0;
    }
    void stereo_warning(uint32_t pan_pos, uint32_t key_pos) {
        con_.print("Warning: Stereo on both channels! Pos: %06X (Key Cmd: %06X)\n", pan_pos, key_pos);
    }
    bool dual(size_t clock_offset) const { return (img_.header.u32(clock_offset) & kDualChipBit) != 0; }

    VgmImage& img_;
    Console& con_;
    std::span<uint8_t> b_;
    std::array<uint32_t, 32> centre_{};
    uint8_t mpcm_address_ = 0;
    uint16_t mpcm_bank_ = 0;
    std::array<uint8_t, kX1010Channels> x1_control_{};
    std::array<uint32_t, kX1010Channels> x1_volume_ref_{};  // position of a data byte, 0 = none
};

// Both nibbles set to the larger of the two.
uint8_t x1010_mono(uint8_t v) {
    const uint8_t m = std::max<uint8_t>(v >> 4, v & 0x0F);
    return static_cast<uint8_t>(m * 0x11);
}

void MonoWalk::run() {
    b_ = std::span<uint8_t>(img_.bytes);
    const uint32_t size = img_.file_size;
    const bool dual_2612 = dual(hdr::kYm2612Clock);
    const bool dual_2151 = dual(hdr::kYm2151Clock);
    const bool dual_2610 = dual(hdr::kYm2610Clock);
    uint32_t pos = img_.data_start();
    while (pos < size) {
        const uint8_t op = b_[pos];
        if (op == cmd::kEnd) break;
        if (!has_defined_length(op)) {
            print_unknown_command(con_, op);
            ++pos;
            continue;
        }
        const uint32_t len = command_length(img_.data(), pos, kShortReservedReporting);
        if (!command_fits(size, pos, len)) break;  // cut off by the end of the file
        switch (op) {
            case 0x52: case 0x53: fm_opn(pos, op & 1, false); break;
            case 0xA2: case 0xA3: if (dual_2612) fm_opn(pos, op & 1, false); break;
            case 0x54: ym2151(pos); break;
            case 0xA4: if (dual_2151) ym2151(pos); break;
            case 0x58: case 0x59: fm_opn(pos, op & 1, true); break;
            case 0xA8: case 0xA9: if (dual_2610) fm_opn(pos, op & 1, true); break;
            case 0xB0: rf5c68(pos); break;
            case 0xB5: multipcm(pos); break;
            case 0xC3: multipcm_bank(pos); break;
            case 0xC8: x1010(pos); break;
            case 0xD0: ymf278b(pos); break;
            default: break;
        }
        pos += len;
    }
}

// YM2612 and YM2610 FM (and the YM2610's ADPCM units): register r, data d.
void MonoWalk::fm_opn(uint32_t pos, int port, bool ym2610) {
    const uint8_t r = b_[pos + 1];
    uint8_t& d = b_[pos + 2];
    if (r >= 0xB4 && r <= 0xB7) {
        pan(pos, d, 3 * port + (r & 3));
    } else if (port == 0 && r == 0x28) {
        // Key on/off: channel in bits 0-1, bit 2 the upper three channels.
        if (d >= 0x10) key_on(pos, (d & 3) + ((d & 4) ? 3 : 0));
    } else if (ym2610 && port == 0 && r == 0x11) {
        pan(pos, d, kAdpcmB);
    } else if (ym2610 && port == 0 && r == 0x10) {
        if (d & 0x80) key_on(pos, kAdpcmB);
    } else if (ym2610 && port == 1 && r >= 0x08 && r <= 0x0F) {
        pan(pos, d, kAdpcmA + (r & 7));
    } else if (ym2610 && port == 1 && r == 0x00) {
        // ADPCM-A key: bit 7 clear keys on the channels of bits 0-5.
        if (!(d & 0x80))
            for (int bit = 0; bit < 6; ++bit)
                if (d & (1 << bit)) key_on(pos, kAdpcmA + bit);
    }
}

void MonoWalk::ym2151(uint32_t pos) {
    const uint8_t r = b_[pos + 1];
    uint8_t& d = b_[pos + 2];
    if (r >= 0x20 && r <= 0x27)
        pan(pos, d, r & 7);
    else if (r == 0x08 && (d & 0x78))
        key_on(pos, d & 7);
}

// RF5C68 pan register: one nibble per side. A channel on one side only gets
// a middle volume on both; anything else cannot be made mono here.
void MonoWalk::rf5c68(uint32_t pos) {
    if (b_[pos + 1] != 0x01) return;
    uint8_t& d = b_[pos + 2];
    if (d == 0x0F || d == 0xF0)
        d = 0xBB;
    else
        stereo_warning(pos, pos);
}

void MonoWalk::multipcm(uint32_t pos) {
    const uint8_t r = b_[pos + 1] & 0x7F;
    uint8_t& d = b_[pos + 2];
    if (r == 2) {
        mpcm_address_ = d;
    } else if (r == 0 && mpcm_address_ == 0) {
        // Register 0 holds the pan in its high nibble; 8 is left as it is.
        if ((d >> 4) != 8) d &= 0x0F;
    }
}

// MultiPCM bank offsets: a bank offset of 0 takes the last one in use.
void MonoWalk::multipcm_bank(uint32_t pos) {
    const uint16_t off = load_le16(img_.data(), pos + 2);
    if (off == 0) {
        if (mpcm_bank_ != 0) store_le16(b_, pos + 2, mpcm_bank_);
    } else {
        mpcm_bank_ = off;
    }
}

// X1-010: 0x0000-0x007F are 16 channels of 8 registers (0 control, 1
// volume), 0x0080-0x0FFF envelope and wave memory holding volume nibbles.
// A channel's volume byte is only a volume when the channel plays PCM
// (control AND 3 = 1), which may be set after the volume was written.
void MonoWalk::x1010(uint32_t pos) {
    const uint32_t off = b_[pos + 1] * 256u + b_[pos + 2];
    const uint32_t data_pos = pos + 3;
    uint8_t& d = b_[data_pos];
    if (off >= 0x0080 && off <= 0x0FFF) {
        d = x1010_mono(d);
    } else if (off <= 0x007F) {
        const uint32_t ch = off / 8;
        const uint32_t reg = off & 7;
        if (reg == 1) {
            if (!(x1_control_[ch] & 1)) x1_volume_ref_[ch] = data_pos;
            if ((x1_control_[ch] & 3) == 1) d = x1010_mono(d);
        } else if (reg == 0) {
            x1_control_[ch] = d;
            if ((d & 3) == 1 && x1_volume_ref_[ch] != 0) {
                b_[x1_volume_ref_[ch]] = x1010_mono(b_[x1_volume_ref_[ch]]);
                x1_volume_ref_[ch] = 0;
            }
        }
    }
}

// YMF278B PCM pan (registers 0x68-0x7F of the PCM port): the low nibble is
// the pan, 0 the centre; 8 is left as it is, 7 and 9 are centred silently.
void MonoWalk::ymf278b(uint32_t pos) {
    // Bit 7 of the port byte addresses the second chip; its FM ports 0 and
    // 1 (0x80, 0x81) have other registers at 0x68-0x7F.
    const uint8_t port = b_[pos + 1] & 0x7F;
    const uint8_t r = b_[pos + 2];
    uint8_t& d = b_[pos + 3];
    if (port < 2 || r < 0x68 || r > 0x7F) return;
    const uint8_t n = d & 0x0F;
    if (n == 8) return;
    d &= 0xF0;
    if (n != 0 && n != 7 && n != 9) con_.print("Warning: Non-Full Panning! Pos: %06X\n", pos);
}

}  // namespace

void ulvane_make_mono(VgmImage& img, Console& con) { MonoWalk(img, con).run(); }

int ulvane_run(int argc, char** argv, Console& con) {
    int exit_code = 0;
    auto img = start_vgm_program(con, argc, argv, kFrontEnd, exit_code);
    if (!img) return exit_code;
    ulvane_make_mono(*img, con);
    const std::string out = output_name(img->base_name, "_mono.vgm", argc, argv, 2);
    if (!write_output(con, out, img->data(), MessageStyle::B)) return kExitWriteFailed;
    return 0;
}
