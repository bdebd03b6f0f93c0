// trelwin: converts the FM register traffic of a VGM file between one OPL3
// (YMF262, 0x5E/0x5F), one OPL2 (YM3812, 0x5A) and two OPL2s (dual YM3812,
// 0x5A and 0xAA), and rewrites the two clock fields of the header.
#pragma once

#include <cstdint>
#include <optional>

#include "vgm/console.h"
#include "vgm/loader.h"

// The conversions, numbered as the program has always numbered them.
enum class OplMode : int {
    OplToDual = 0,      // -3d2: OPL3 -> two OPL2s
    DualToOpl3 = 1,     // -d23: two OPL2s -> OPL3
    DualToSingle = 2,   // -d22: two OPL2s -> one OPL2
    OplToSingle = 3,    // -32:  OPL3 -> one OPL2
};

struct TrelwinArgs {
    OplMode mode;
    int input_index;  // argv index of the input name; the output name may follow
};

// Mode options first (any case, the last one wins), then the input name.
// nullopt when the arguments do not have that form.
std::optional<TrelwinArgs> parse_trelwin_args(int argc, char** argv);

// Checks that the loaded file has the chips the mode converts from, printing
// the refusal when it has not, and writes the new clocks into the file bytes.
// False when the run must end without writing.
bool trelwin_set_clocks(vgm::VgmImage& img, OplMode mode, vgm::Console& con);

// Converts the command stream in the file bytes; prints the warnings. Mode
// d22 drops the second chip's writes and closes the gaps, so the file bytes
// may get shorter; the other modes keep every length and offset.
void trelwin_convert(vgm::VgmImage& img, OplMode mode, vgm::Console& con);

// The whole program. Returns the exit code.
int trelwin_run(int argc, char** argv, vgm::Console& con);
