// Key-on rules: a note is the moment a channel starts to sound.

#include "quorvel.h"

#include "vgm/header.h"

namespace quorvel {

namespace {

bool bit(uint32_t v, unsigned b) { return (v >> b) & 1u; }

// Key bit on: counts a note when the bit was clear. Key bit off: clears it.
void key(ChipCounter& c, unsigned b, bool on) {
    const uint32_t mask = 1u << b;
    if (on) {
        if (!(c.keys & mask)) {
            c.keys |= mask;
            ++c.notes;
        }
    } else {
        c.keys &= ~mask;
    }
}

// Sets or clears a key bit without counting a note.
void mark(ChipCounter& c, unsigned b, bool set) {
    if (set)
        c.keys |= 1u << b;
    else
        c.keys &= ~(1u << b);
}

// Rhythm register (YM2413 0x0E, OPL 0xBD): bit 5 enables the five rhythm
// instruments of bits 0-4, which use key bits 9-13.
void rhythm(ChipCounter& c, uint32_t dd) {
    if (!(dd & 0x20)) {
        c.keys &= ~(0x1Fu << 9);
        return;
    }
    for (unsigned i = 0; i < 5; ++i) key(c, 9 + i, bit(dd, i));
}

// Moves the command just counted from a chip to its companion counter.
ChipCounter& move_to_companion(CounterTable& t, int instance, int chip) {
    ChipCounter& main = t.at(instance, chip);
    ChipCounter& comp = t.at(instance, kCompanionBase + chip);
    --main.commands;
    ++comp.commands;
    return comp;
}

// YM2203/YM2608/YM2610 SSG: the mixer register enables tones (key bits 13-15)
// and noises (16-18); the volume registers sound the tone channels.
void ssg_rule(ChipCounter& c, uint32_t r, uint32_t dd) {
    if (r == 0x07) {
        for (unsigned ch = 0; ch < 3; ++ch) mark(c, 13 + ch, !bit(dd, ch));
        for (unsigned ch = 0; ch < 3; ++ch) mark(c, 16 + ch, !bit(dd, 3 + ch));
    } else if (r >= 0x08 && r <= 0x0A) {
        key(c, 13 + (r & 3), (dd & 0x0F) != 0);
    }
}

void opn_key_on(ChipCounter& c, uint32_t r, uint32_t dd, bool six_channels) {
    if (r != 0x28) return;
    unsigned slot = dd & 3;
    if (six_channels && (dd & 4)) slot += 3;
    key(c, slot, dd >= 0x10);
}

void opl_rule(ChipCounter& c, uint32_t r, uint32_t dd) {
    if (r == 0xBD) {
        rhythm(c, dd);
    } else if (r < 0x200 && (r & 0xF0) == 0xB0) {
        key(c, (r & 0x0F) + 9 * (r >> 8), bit(dd, 5));
    }
}

}  // namespace

void note_rule(int chip, CounterTable& t, int instance, uint32_t r, uint32_t dd) {
    ChipCounter& c = t.at(instance, chip);
    switch (chip) {
        case vgm::chip::SN76496:
            if ((dd & 0x90) == 0x90) key(c, 4 + ((dd >> 5) & 3), (dd & 0x0F) != 0x0F);
            break;
        case vgm::chip::YM2413:
            if ((r & 0x30) == 0x20) key(c, r & 0x0F, bit(dd, 4));
            if ((r & 0x3F) == 0x0E) rhythm(c, dd);
            break;
        case vgm::chip::YM2612:
            opn_key_on(c, r, dd, true);
            break;
        case vgm::chip::YM2203:
            opn_key_on(c, r, dd, false);
            ssg_rule(c, r, dd);
            break;
        case vgm::chip::YM2608:
        case vgm::chip::YM2610:
            opn_key_on(c, r, dd, true);
            ssg_rule(c, r, dd);
            break;
        case vgm::chip::YM2151:
            if (r == 0x08) key(c, dd & 7, (dd & 0x78) != 0);
            break;
        case vgm::chip::SegaPCM:
            if ((r & 0x8087) == 0x86) key(c, (r >> 3) & 0x0F, !bit(dd, 0));
            break;
        case vgm::chip::RF5C68:
        case vgm::chip::RF5C164:
            if (r == 0x08)
                for (unsigned ch = 0; ch < 8; ++ch) key(c, ch, !bit(dd, ch));
            break;
        case vgm::chip::YM3812:
        case vgm::chip::YM3526:
        case vgm::chip::YMF262:
            opl_rule(c, r, dd);
            break;
        case vgm::chip::Y8950:
            opl_rule(c, r, dd);
            if (r == 0x07) key(c, 14, bit(dd, 7));
            break;
        case vgm::chip::YMF278B:
            if (r & 0x8000) break;
            if (r >= 0x200) {
                ChipCounter& fm = move_to_companion(t, instance, chip);
                const uint32_t a = r & 0xFF;
                if (a >= 0x68 && a <= 0x7F) key(fm, a - 0x68, bit(dd, 7));
            } else {
                opl_rule(c, r, dd);
            }
            break;
        case vgm::chip::YMF271:
            // reg carries the port in bits 8-15 and the register in 0-7
            if ((r >> 8) <= 3 && (r & 0xFF) <= 0x0F) key(c, 14, bit(dd, 0));
            break;
        case vgm::chip::YMZ280B:
            if ((r & 0xE3) == 0x01) key(c, (r >> 2) & 7, bit(dd, 7));
            break;
        case vgm::chip::PWM:
            if (c.first_write == 0) {
                c.first_write = 1;
                ++c.notes;
            }
            break;
        case vgm::chip::AY8910:
            if (r == 0x07) {
                for (unsigned i = 0; i < 6; ++i) mark(c, i, !bit(dd, i));
            } else if (r >= 0x08 && r <= 0x0A) {
                key(c, 13 + (r & 3), (dd & 0x0F) != 0);
            }
            break;
        case vgm::chip::GameBoy:
            if (r <= 0x13 && r % 5 == 4) {
                const unsigned ch = r / 5;
                c.keys &= ~(1u << ch);
                key(c, ch, bit(dd, 7));
            }
            break;
        case vgm::chip::NESAPU:
            if (r == 0x15) {
                for (unsigned ch = 0; ch < 5; ++ch) key(c, ch, bit(dd, ch));
            } else if (r == 0x23) {
                ChipCounter& fds = move_to_companion(t, instance, chip);
                key(fds, 0, !bit(dd, 7));
            }
            break;
        case vgm::chip::MultiPCM:
        case vgm::chip::uPD7759:
        case vgm::chip::OKIM6258:
        case vgm::chip::K051649:
        case vgm::chip::K054539:
            c.notes = kNotCounted;
            break;
        case vgm::chip::OKIM6295:
            if (r != 0x00) break;
            if (c.latch != 0xFF) {
                // second byte of a phrase command: the channels to start
                for (unsigned ch = 0; ch < 4; ++ch)
                    if (bit(dd, 4 + ch)) key(c, ch, true);
                c.latch = 0xFF;
            } else if (bit(dd, 7)) {
                c.latch = dd & 0x7F;
            } else {
                for (unsigned ch = 0; ch < 4; ++ch)
                    if (bit(dd, 3 + ch)) key(c, ch, false);
            }
            break;
        case vgm::chip::HuC6280:
            if (r == 0x00)
                c.latch = dd & 7;
            else if (r == 0x05)
                key(c, c.latch, bit(dd, 7));
            break;
        case vgm::chip::C140:
            if ((r & 0x0F) == 5 && r < 0x180) key(c, r >> 4, bit(dd, 7));
            break;
        case vgm::chip::K053260:
            if (r == 0x28)
                for (unsigned ch = 0; ch < 4; ++ch) key(c, ch, bit(dd, ch));
            break;
        case vgm::chip::Pokey:
            if (r == 0x01 || r == 0x03 || r == 0x05 || r == 0x07) key(c, r >> 1, !bit(dd, 7));
            break;
        case vgm::chip::QSound:
            if (r < 0x80) {
                const unsigned ch = r >> 3;
                if ((r & 7) == 6)
                    key(c, ch, dd != 0);
                else if ((r & 7) == 2 && dd == 0)
                    key(c, ch, false);
            }
            break;
        default:
            break;
    }
}

}  // namespace quorvel
