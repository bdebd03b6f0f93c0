// The start every VGM-loading program shares: banner, file name, load.
#pragma once

#include <optional>

#include "vgm/console.h"
#include "vgm/loader.h"

namespace vgm {

// What differs between programs at start-up.
struct FrontEnd {
    const char* title;
    bool extra_empty_line;  // an empty line after the banner
    int name_arg;           // index of the file name in argv
    int empty_name_exit;    // exit code when no name is given
    FixupProfile profile;
};

// Prints the banner, obtains the file name and loads the file. On failure
// returns nullopt with `exit_code` set: the variant's code for an empty
// name, 1 when the file cannot be loaded.
std::optional<VgmImage> start_vgm_program(Console& con, int argc, char** argv, const FrontEnd& fe, int& exit_code);

}  // namespace vgm
