#include "quorvel.h"

#include <string>

#include "vgm/commands.h"
#include "vgm/header.h"
#include "vgm/program.h"

namespace quorvel {

using namespace vgm;

namespace {

constexpr int kNone = -1;

// Chip of a data block type (byte 2 of 0x67), or kNone when not counted.
int chip_of_block_type(uint8_t type) {
    static constexpr int kByType80[16] = {
        chip::SegaPCM, chip::YM2608,  chip::YM2610,   chip::YM2610,  chip::YMF278B, chip::YMF271,
        chip::YMZ280B, chip::YMF278B, chip::Y8950,    chip::MultiPCM, chip::uPD7759, chip::OKIM6295,
        chip::K054539, chip::C140,    chip::K053260,  chip::QSound,
    };
    static constexpr int kStream[3] = {chip::YM2612, chip::RF5C68, chip::RF5C164};
    if (type <= 0x02) return kStream[type];
    if (type >= 0x40 && type <= 0x42) return kStream[type - 0x40];
    if (type >= 0x80 && type <= 0x8F) return kByType80[type - 0x80];
    if (type == 0xC0) return chip::RF5C68;
    if (type == 0xC1) return chip::RF5C164;
    if (type == 0xC2) return chip::NESAPU;
    return kNone;
}

// Chips of the 0xB3-0xBB family, which select the instance with bit 7 of the
// register byte.
int chip_of_bx(uint8_t op) {
    switch (op) {
        case 0xB3: return chip::GameBoy;
        case 0xB4: return chip::NESAPU;
        case 0xB5: return chip::MultiPCM;
        case 0xB6: return chip::uPD7759;
        case 0xB7: return chip::OKIM6258;
        case 0xB8: return chip::OKIM6295;
        case 0xB9: return chip::HuC6280;
        case 0xBA: return chip::K053260;
        case 0xBB: return chip::Pokey;
        default: return kNone;
    }
}

bool dual(const VgmHeader& h, int chip) { return (chip_clock(h, chip) & kDualChipBit) != 0; }

class Attributor {
public:
    Attributor(const VgmHeader& h, CounterTable& t) : h_(h), t_(t) {}

    void count(int chip, int inst) { ++t_.at(inst, chip).commands; }
    void write(int chip, int inst, uint32_t reg, uint32_t data) {
        count(chip, inst);
        note_rule(chip, t_, inst, reg, data);
    }

    // One complete command of `len` bytes at the start of `c`.
    void attribute(Bytes c) {
        const uint8_t op = c[0];
        const uint8_t b1 = load_u8(c, 1), b2 = load_u8(c, 2), b3 = load_u8(c, 3);
        const int hi = b1 >> 7;
        if (op == 0x50) return write(chip::SN76496, 0, 0, b1);
        if (op == 0x30) {
            if (dual(h_, chip::SN76496)) write(chip::SN76496, 1, 0, b1);
            return;
        }
        if (op == 0x4F) return count(chip::SN76496, 0);
        if (op == 0x3F) {
            if (dual(h_, chip::SN76496)) count(chip::SN76496, 1);
            return;
        }
        if (op >= 0x51 && op <= 0x5F) return write_5x(op, 0, b1, b2);
        if (op >= 0xA1 && op <= 0xAF) {
            const int chip = chip_of_5x(static_cast<uint8_t>(op - 0x50));
            if (chip != kNone && dual(h_, chip)) write_5x(static_cast<uint8_t>(op - 0x50), 1, b1, b2);
            return;
        }
        switch (op) {
            case 0xA0: return write(chip::AY8910, hi, b1 & 0x7F, b2);
            case 0xB0: return write(chip::RF5C68, 0, b1, b2);
            case 0xB1: return write(chip::RF5C164, 0, b1, b2);
            case 0xB2: return write(chip::PWM, 0, 0, 0);
            case 0xC0: return write(chip::SegaPCM, 0, b1 | (b2 << 8), b3);
            case 0xC3: return write(chip::MultiPCM, hi, 0, 0);
            case 0xC4: return write(chip::QSound, 0, b3, (b1 << 8) | b2);
            case 0xD0: return write(chip::YMF278B, 0, (b1 << 8) + b2, b3);
            case 0xD1: return write(chip::YMF271, 0, (b1 << 8) | b2, b3);
            case 0xD2: return write(chip::K051649, hi, 0, 0);
            case 0xD3: return write(chip::K054539, hi, 0, 0);
            case 0xD4: return write(chip::C140, hi, ((b1 & 0x7Fu) << 8) + b2, b3);
            case cmd::kDataBlock: {
                const int chip = chip_of_block_type(b2);
                if (chip != kNone) count(chip, load_le32(c, 3) >> 31);
                return;
            }
            case cmd::kPcmRamWrite:
                if (b2 == 0x01) count(chip::RF5C68, 0);
                if (b2 == 0x02) count(chip::RF5C164, 0);
                return;
            default:
                break;
        }
        if (const int chip = chip_of_bx(op); chip != kNone) write(chip, hi, b1 & 0x7F, b2);
    }

private:
    // 0x51-0x5F: the odd port commands 0x53, 0x57, 0x59, 0x5F address port 1.
    void write_5x(uint8_t op, int inst, uint8_t aa, uint8_t dd) {
        const int chip = chip_of_5x(op);
        const bool port1 = op == 0x53 || op == 0x57 || op == 0x59 || op == 0x5F;
        write(chip, inst, aa + (port1 ? 0x100u : 0u), dd);
    }

    const VgmHeader& h_;
    CounterTable& t_;
};

std::string counter_name(int index) {
    if (index == chip::YMF278B) return "YMF278B PCM";
    if (index < kChipCount) return kChips[static_cast<size_t>(index)].name;
    if (index == kYmf278bFm) return "YMF278B FM";
    if (index == kFds) return "FDS";
    return "";
}

void print_count(Console& con, uint32_t n, const char* what) {
    if (n == 1)
        con.print("%d %s", 1, what);
    else if (n == kNotCounted)
        con.print("- %ss", what);
    else
        con.print("%d %ss", static_cast<int32_t>(n), what);
}

void print_line(Console& con, const ChipCounter& c, int index, int instance) {
    if (!c.present && c.commands == 0) return;
    con.print("%s #%u: ", counter_name(index).c_str(), static_cast<unsigned>(instance));
    if (!c.present) con.print("!! Clock is Zero !!, ");
    print_count(con, c.commands, "Command");
    con.print(", ");
    print_count(con, c.notes, "Note");
    con.print("\n");
}

}  // namespace

void init_counters(const VgmHeader& h, CounterTable& t) {
    t = CounterTable{};
    for (int inst = 0; inst < 2; ++inst) t.at(inst, chip::OKIM6295).latch = 0xFF;
    for (int k = 0; k < kChipCount; ++k) {
        const uint32_t clock = chip_clock(h, k);
        t.at(0, k).present = clock != 0;
        t.at(1, k).present = clock != 0 && (clock & kDualChipBit);
    }
    const uint32_t nes = chip_clock(h, chip::NESAPU);
    t.at(0, kFds).present = nes != 0 && (nes & kVariantBit);
}

void count_commands(const VgmImage& img, CounterTable& t) {
    Attributor attr(img.header, t);
    const Bytes data = img.data();
    size_t pos = img.data_start();
    while (pos < img.file_size) {
        const uint8_t op = data[pos];
        if (op == cmd::kEnd) break;
        const uint32_t len = command_length(data, pos, kLongReservedSilent);
        // A command cut off by the end of the file is not counted.
        if (!command_fits(img.file_size, pos, len)) break;
        if (has_defined_length(op)) attr.attribute(data.subspan(pos, len));
        pos += len;
    }
}

void print_report(Console& con, const CounterTable& t) {
    for (int inst = 0; inst < 2; ++inst) {
        for (int k = 0; k < kChipCount; ++k) {
            print_line(con, t.at(inst, k), k, inst);
            print_line(con, t.at(inst, kCompanionBase + k), kCompanionBase + k, inst);
        }
    }
}

int quorvel_run(int argc, char** argv, Console& con) {
    static constexpr FrontEnd kFrontEnd{"quorvel", true, 1, 0, FixupProfile::FullClearing};
    int exit_code = 0;
    auto img = start_vgm_program(con, argc, argv, kFrontEnd, exit_code);
    if (!img) return exit_code;
    CounterTable table;
    init_counters(img->header, table);
    count_commands(*img, table);
    print_report(con, table);
    return 0;
}

}  // namespace quorvel
