// tresmo: the DAC stream optimizer. Cuts every data bank into one block per
// byte range that the file's stream starts (0x93) use, turns those starts into
// fast starts (0x95) that name their block, and moves the stream set-up
// commands (0x90-0x92) that never change to the front of the stream.
//
// Two passes over the command stream: the usage scan collects the banks, the
// used ranges and the set-up commands of every stream; the rewrite writes the
// header, the rebuilt blocks, the moved set-up commands and the stream without
// its stream-data blocks.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "vgm/console.h"
#include "vgm/datablock.h"
#include "vgm/loader.h"
#include "vgm/writer.h"

namespace tresmo {

// Exit code of a file the program refuses (compressed data, fast starts).
constexpr int kExitRefused = 9;

// The command line: tresmo [input [output]].
struct Options {
    int input_arg = 1;   // argv index of the input name (the prompt asks when it is missing)
    std::string output;  // the output name; empty: the base name and "_optimized.vgm"
};

Options parse_options(int argc, char** argv);

// Where a stream's commands of one kind (set-up, data or frequency) stand.
struct Slot {
    enum class State : uint8_t {
        Empty,     // none seen
        Constant,  // every one seen so far equals the first, at `pos`
        Varying,   // at least two differ
    };
    State state = State::Empty;
    size_t pos = 0;

    bool constant() const { return state == State::Constant; }
};

struct StreamSetup {
    Slot setup;      // 0x90
    Slot data;       // 0x91
    Slot frequency;  // 0x92
    uint8_t bank = 0;  // data bank of the stream's latest 0x91
};

constexpr uint32_t kNoBlock = 0xFFFFFFFF;

// A byte range of a bank that a stream start uses.
struct SampleRange {
    uint32_t start = 0;
    uint32_t length = 0;
    uint32_t block_id = kNoBlock;  // its block in the rebuilt bank, when it has one

    uint64_t end() const { return uint64_t{start} + length; }
};

// The used ranges of every bank, each (start, length) pair once.
class UsageMask {
public:
    void add(uint8_t bank, uint32_t start, uint32_t length);
    // Orders every list by start (equal starts by length).
    void sort();

    std::vector<SampleRange>& ranges(uint8_t bank) { return lists_[bank & (vgm::block::kBankCount - 1)]; }
    const std::vector<SampleRange>& ranges(uint8_t bank) const {
        return lists_[bank & (vgm::block::kBankCount - 1)];
    }
    // The range with this start and length, or null.
    const SampleRange* find(uint8_t bank, uint32_t start, uint32_t length) const;

private:
    static uint64_t key(uint32_t start, uint32_t length) { return (uint64_t{start} << 32) | length; }

    std::array<std::vector<SampleRange>, vgm::block::kBankCount> lists_;
    std::array<std::unordered_map<uint64_t, uint32_t>, vgm::block::kBankCount> index_;  // key -> list index
};

// What the usage scan found.
struct Scan {
    vgm::DataBanks banks;
    UsageMask usage;
    std::array<StreamSetup, vgm::stream::kStreamCount> streams{};
    std::vector<size_t> banked;  // positions of the blocks that went into banks, ascending
    bool refused = false;
};

// The usage scan, from "Creating ROM-Usage Mask ..." to the clearing
// sequence. Stops at the end command, or at a compressed block, a
// decompression table or a fast start (refused).
Scan scan_usage(vgm::Console& con, const vgm::VgmImage& in);

// The usage report of a sorted mask.
void print_report(vgm::Console& con, const UsageMask& usage);

// True when two used ranges of one bank overlap (ranges that only touch do
// not). The mask must be sorted.
bool has_overlap(const UsageMask& usage);

// Writes the rebuilt blocks of every bank that holds bytes and sets the block
// ids of the used ranges. A range that does not lie wholly inside its bank
// gets no block.
void rebuild_blocks(vgm::OutputState& out, Scan& scan);

// Writes the set-up commands that never change, stream by stream, each
// announced by a line; forgets the varying ones.
void move_setups(vgm::Console& con, vgm::OutputState& out, Scan& scan);

// A stream start of the input that became a fast start of the output.
struct FastStart {
    size_t in_pos;
    size_t out_pos;
};

// The rewrite walk. Returns the output position where the stream ends, or
// 0 when it meets a compressed block, a decompression table or a fast start
// that the scan did not see (the two walks count 0x40-0x4E differently): the
// file is then refused as the scan would have refused it. `record`, when
// given, receives every fast start written.
size_t rewrite_stream(vgm::Console& con, vgm::OutputState& out, const vgm::VgmImage& in, const Scan& scan,
                      std::vector<FastStart>* record = nullptr);

enum class Outcome {
    Unreadable,  // the commands would start inside the header: exit 1
    Refused,    // exit 9, nothing written
    Overlap,    // exit 0, nothing written
    Rewritten,  // the output is finished and waits to be written
};

// Everything after loading: scan, report, overlap check, rewrite and header
// rebuild. `stream_end`, when given, receives the end of the rewritten stream.
Outcome optimize(vgm::Console& con, const vgm::VgmImage& in, vgm::OutputState& out,
                 std::vector<FastStart>* record = nullptr, size_t* stream_end = nullptr);

// The whole program: returns its exit code.
int run(int argc, char** argv, vgm::Console& con);

}  // namespace tresmo
