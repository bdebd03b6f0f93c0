// pelmora: makes VGM files that feed sample memory to an RF5C68, an RF5C164
// or an SCSP smaller, in three steps over a copy of the file in memory:
//
//   1. merge   runs of memory writes (0xC1 / 0xC2 ll hh dd) and RAM-write
//              blocks (0x67 types 0xC0, 0xC1, 0xE0) that fill consecutive
//              addresses of one chip become RAM-write blocks; bank selects
//              that the merged blocks (absolute addresses) no longer need go;
//   2. database  the RAM-write blocks are compared by content: equal data,
//              and data that begins another block's data, share one entry;
//   3. rewrite entries used more than once go into one data block per chip
//              (types 0x01, 0x02, 0x06) at the front of the stream, and every
//              RAM-write block that uses one becomes a 12-byte PCM RAM write
//              (0x68) copying from it; consecutive waits are joined.
//
// The result is written only when its command data is smaller.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "vgm/bytes.h"
#include "vgm/commands.h"
#include "vgm/console.h"
#include "vgm/loader.h"

namespace pelmora {

// The three chips, by a fixed index.
enum Chip : uint8_t { kRf5c68 = 0, kRf5c164 = 1, kScsp = 2, kChipCount = 3 };

struct RamChip {
    size_t clock_offset;    // header clock field
    uint8_t reg_cmd;        // register write aa dd (0 when the chip has none)
    uint8_t mem_cmd;        // memory write ll hh dd (0 when the chip has none)
    uint8_t block_type;     // RAM-write block type
    uint32_t address_width; // bytes of the block's start address: 2 or 4
    uint32_t memory_size;   // bytes of sample memory
    uint8_t bank_type;      // data-block type of the chip's database block
};

constexpr std::array<RamChip, kChipCount> kRamChips = {{
    {0x40, 0xB0, 0xC1, 0xC0, 2, 0x10000, 0x01},
    {0x6C, 0xB1, 0xC2, 0xC1, 2, 0x10000, 0x02},
    {0xB8, 0x00, 0x00, 0xE0, 4, 0x80000, 0x06},
}};

// The chip whose RAM-write blocks have type `type`, or -1.
constexpr int chip_of_ram_block(uint8_t type) {
    for (int i = 0; i < kChipCount; ++i)
        if (kRamChips[static_cast<size_t>(i)].block_type == type) return i;
    return -1;
}

// Every walk of the program: 0x40-0x4E are two bytes long. Only the merge
// walk reports bytes without a defined length.
constexpr vgm::WalkPolicy kMergeWalk{2, vgm::UnknownByte::ClearThenReport};
constexpr vgm::WalkPolicy kQuietWalk{2, vgm::UnknownByte::Skip};

// Exit code of the start-up refusals (old version, no RF-PCM chip).
constexpr int kExitRefused = 2;

// A RAM-write block of one of the three chips as the step-1 image holds it.
struct RamBlock {
    int chip = -1;
    uint32_t start = 0;     // start address field as stored
    size_t data_pos = 0;    // position of the data in the buffer
    uint32_t length = 0;    // data bytes
};

// The RAM-write block at `pos` (a whole 0x67 command that fits the buffer):
// false when it is of another type or too short to hold its start address.
bool read_ram_block(vgm::Bytes data, size_t pos, RamBlock& out);

// ---- step 1 --------------------------------------------------------------

struct MergeResult {
    bool already_optimized = false;  // a 0x68 was met: nothing more to do
    std::vector<uint8_t> image;      // the step-1 image, header and tag rebuilt
    uint32_t pcm_writes = 0;         // memory writes and RAM-write blocks met
    uint32_t input_data_length = 0;  // bytes of the input stream walked
    uint32_t data_length = 0;        // bytes of the step-1 stream
};

// Step 1 over a loaded file. Prints the step's messages (not its title).
MergeResult merge_writes(vgm::Console& con, const vgm::VgmImage& in);

// The bytes of the run of chip `chip` that starts with the command at
// `pos`: memory writes and RAM-write blocks of that chip at consecutive
// ascending addresses, read across other commands, up to the end command,
// a register write of the chip itself, a break in the addresses or the end
// of its memory. The bytes are stored into `memory` (the chip's memory
// image) at their addresses. A RAM-write block that does not lie wholly
// inside the memory ends the run before it. `bank_base` is the RF bank base
// in force (0 for the SCSP). A run also ends before the command at `stop_at`
// (the loop point; 0 for none), so that what follows the loop point is
// written again when playback comes back to it.
uint32_t collect_run(vgm::Bytes data, size_t pos, int chip, uint32_t bank_base, std::vector<uint8_t>& memory,
                     size_t stop_at = 0);

// ---- step 2 --------------------------------------------------------------

// One database entry: the longest data it has taken in, viewed in the
// step-1 image (entries only ever grow by data that begins with what they
// hold, so the view of the longest block stands for all of them).
struct PcmBlock {
    uint8_t chip = 0;
    bool single_use = false;
    bool stored = false;        // has a place in the chip's database block
    uint32_t length = 0;
    size_t data_pos = 0;        // where the data lies in the step-1 image
    uint32_t db_offset = 0;     // offset in the chip's database block
    uint32_t use_count = 0;
};

// One use of an entry by a RAM-write block of the step-1 image.
struct BlockUse {
    uint32_t entry = 0;
    size_t pos = 0;             // the block's 0x67
    uint32_t start = 0;         // start address field as stored
    uint32_t length = 0;
};

struct Database {
    std::vector<PcmBlock> entries;
    // The first use of every block (the entry of the lowest index it
    // matches), in the order of the blocks: the one that decides how the
    // block is rewritten. A short block can match very many entries; its
    // other uses are counted, not kept.
    std::vector<BlockUse> uses;
    uint64_t use_total = 0;      // every use, of every entry
    uint64_t byte_total = 0;     // sum of the entry lengths
    uint32_t single_use_count = 0;
};

// Step 2: every RAM-write block from `data_start` to the end command. An
// entry matches a block of its chip when the shorter of the two begins the
// other; a block is a use of every entry it matches (an entry shorter than
// the block takes the block's data), and a block that matches none makes a
// new entry. Single-use marks are set at the end.
Database build_database(vgm::Bytes image, size_t data_start);

// ---- step 3 --------------------------------------------------------------

struct RewriteResult {
    std::vector<uint8_t> file;
    uint32_t data_length = 0;    // bytes of the new command stream
    bool loop_lost = false;
};

// Step 3 over the step-1 image: the database blocks at the front, replaced
// blocks as 0x68, waits joined; header, loop, tag and version rebuilt.
// Prints the step's messages (not its title).
RewriteResult rewrite(vgm::Console& con, vgm::Bytes image, size_t data_start, Database& db);

// Appends the wait commands for `samples` with the program's encoder.
void put_wait(std::vector<uint8_t>& out, uint64_t samples);

// ---- the program -----------------------------------------------------------

struct Options {
    int input_arg = 1;           // argv index of the input name
    std::string output_name;     // empty: the base name and "_optimized.vgm"
};

Options parse_options(int argc, char** argv);

enum class Outcome {
    Refused,          // version or chips: exit code 2
    AlreadyOptimized, // a 0x68 in the input
    NotOptimizable,   // no entry used more than once
    Compressed,       // the closing line was printed; `file` holds the result
};

struct OptimizeResult {
    Outcome outcome = Outcome::Refused;
    std::vector<uint8_t> file;
    uint32_t input_data_length = 0;
    uint32_t output_data_length = 0;
};

// Checks, steps 1-3 and the closing line over a loaded file; writes nothing.
OptimizeResult optimize(vgm::Console& con, vgm::VgmImage& in);

// The whole program: returns its exit code.
int run(int argc, char** argv, vgm::Console& con);

}  // namespace pelmora
