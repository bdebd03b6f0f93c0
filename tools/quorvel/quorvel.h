// The command counter: how many commands and notes a VGM file holds, per chip
// type and instance.
#pragma once

#include <array>
#include <cstdint>

#include "vgm/console.h"
#include "vgm/loader.h"

namespace quorvel {

// Note count value meaning "notes are not counted for this chip".
constexpr uint32_t kNotCounted = 0xFFFFFFFF;

// Companion counters (index 32 + chip) count a sub-part of a chip.
constexpr int kCompanionBase = 32;
constexpr int kYmf278bFm = kCompanionBase + 13;
constexpr int kFds = kCompanionBase + 20;
constexpr int kCounterCount = 64;

struct ChipCounter {
    bool present = false;
    uint8_t latch = 0;       // HuC6280: selected channel; OKIM6295: pending phrase (0xFF none)
    uint32_t commands = 0;
    uint32_t notes = 0;
    uint32_t first_write = 0;  // PWM: set after the first write
    uint32_t keys = 0;         // channels currently sounding
};

// Counters of both instances: [instance][counter index 0-63].
struct CounterTable {
    std::array<std::array<ChipCounter, kCounterCount>, 2> c{};

    ChipCounter& at(int instance, int index) { return c[static_cast<size_t>(instance)][static_cast<size_t>(index)]; }
    const ChipCounter& at(int instance, int index) const {
        return c[static_cast<size_t>(instance)][static_cast<size_t>(index)];
    }
};

// Clears the table and sets the present flags from the header's clocks.
void init_counters(const vgm::VgmHeader& h, CounterTable& t);

// The key-on rule of one chip for one attributed register write. `reg` is
// the register as the walk passes it (port in bits 8 and up where the chip
// has ports); `data` the data byte (QSound: the 16-bit value). The counter's
// command has already been counted.
void note_rule(int chip, CounterTable& t, int instance, uint32_t reg, uint32_t data);

// Walks the command stream and attributes every command.
void count_commands(const vgm::VgmImage& img, CounterTable& t);

// Prints the report lines.
void print_report(vgm::Console& con, const CounterTable& t);

int quorvel_run(int argc, char** argv, vgm::Console& con);

}  // namespace quorvel
