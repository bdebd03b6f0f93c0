// Naming and writing a program's output file, and the messages around it.
#pragma once

#include <string>

#include "vgm/bytes.h"
#include "vgm/console.h"

namespace vgm {

// Exit code of a run whose output could not be written.
constexpr int kExitWriteFailed = 1;

enum class MessageStyle {
    A,  // "%s written.\n" / "Error writing %s!\n", the name after its last backslash
    B,  // "File written." as a line
};

// The output name: argv[out_arg_index] when present and not empty, otherwise
// the base name followed by the program's suffix.
std::string output_name(const std::string& base_name, const std::string& suffix, int argc, char** argv,
                        int out_arg_index);

// The part of a name after its last backslash (the whole name without one).
std::string name_after_backslash(const std::string& name);

// Prints the clearing sequence, writes the file completely under a temporary
// name and renames it into place, then reports in the given style. A file that
// cannot be written leaves nothing behind and is reported as
// "Error writing %s!\n" in both styles. Returns whether the file was written.
bool write_output(Console& con, const std::string& name, Bytes data, MessageStyle style,
                  const char* clear = kClearLine);

}  // namespace vgm
