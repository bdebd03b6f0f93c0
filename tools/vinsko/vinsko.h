// vinsko: makes a VGM file smaller by replacing its uncompressed stream-data
// blocks (types 0x00-0x3E) by bit-packed compressed blocks, with decompression
// tables where a block is coded through one.
//
// The first walk collects the blocks of every stream type, then each block's
// coding is chosen (copy, shift left, table, or none), and the second walk
// writes the file with every block replaced by its compressed form. The file
// is written only when it came out smaller than the input.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "vgm/bytes.h"
#include "vgm/console.h"
#include "vgm/datablock.h"
#include "vgm/loader.h"
#include "vgm/packing.h"
#include "vgm/writer.h"

namespace vinsko {

// The command line: vinsko [file [out]].
struct Options {
    int input_arg = 1;                  // index of the input name in argv
    std::optional<std::string> output;  // the output name, when given and not empty
};
Options parse_options(int argc, char** argv);

// One uncompressed block found by the first walk.
struct StreamBlockRef {
    uint32_t length = 0;  // payload length
    vgm::Bytes payload;   // a view into the loaded file
};

enum class Coding : uint8_t { Copy, ShiftLeft, Table, None };

constexpr uint32_t kNoGroup = 0xFFFFFFFFu;

// How one block is compressed.
struct PackParams {
    Coding coding = Coding::None;
    bool writes_table = false;     // first block of a table group: its table goes before it
    uint8_t bits_decompressed = 8; // 8, or 12 for type 0x03
    uint8_t value_width = 1;       // bytes per sample value
    uint8_t bits = 0;              // bits compressed, 0-12
    uint16_t add = 0;
    uint32_t group = kNoGroup;     // table-coded blocks: index into Plan::groups
};

// A run of table-coded blocks of one type that share one table.
struct TableGroup {
    uint8_t type = 0;
    uint8_t bits_decompressed = 8;
    uint8_t bits = 0;              // bits compressed of its first block
    std::vector<uint16_t> values;  // the final table, ascending
};

// Every stream block of the file by type, with its parameters.
struct Plan {
    std::array<std::vector<StreamBlockRef>, vgm::block::kBankCount> blocks;
    std::array<std::vector<PackParams>, vgm::block::kBankCount> params;
    std::vector<TableGroup> groups;
};

// Sample format of a stream type: 12-bit values in 16-bit words for 0x03,
// bytes for every other type.
constexpr uint8_t bits_decompressed_of(uint8_t type) { return type == vgm::block::kSample12Bit ? 12 : 8; }

// First walk: collects the stream blocks of every type (0x00-0x3F) in file
// order. Prints "Unknown Command: %X\n" for each byte without a length.
void collect_blocks(vgm::Console& con, const vgm::VgmImage& in, Plan& plan);

// Chooses the parameters of every collected block, type by type, and builds
// the table groups with their final tables.
void choose_params(Plan& plan);

// Second walk: writes the stream of `in` into `out` with every block that
// has a coding replaced by its compressed block (and table block).
void write_stream(vgm::Console& con, const vgm::VgmImage& in, const Plan& plan, vgm::OutputState& out);

// The whole rewrite of a loaded file: both walks and the closing steps
// (loop offset, tag, EOF offset). Returns the output file's bytes.
std::vector<uint8_t> compress_image(vgm::Console& con, const vgm::VgmImage& in);

// The whole program: returns its exit code.
int run(int argc, char** argv, vgm::Console& con);

}  // namespace vinsko
