// The front end every program shares: banner and file-name prompt.
#pragma once

#include <string>

#include "vgm/console.h"

namespace vgm {

// The longest name the prompt reads.
constexpr size_t kMaxTypedName = 255;

// Title, a row of '-' as long as the title, and optionally an empty line.
void print_banner(Console& con, const std::string& title, bool extra_empty_line);

// Cleans a name typed at the prompt: drops trailing bytes up to 0x1F, then,
// when the name starts with a single quote, removes it and cuts the name at
// the last remaining single quote.
std::string clean_typed_name(std::string name);

// Prints "File Name:\t", then takes the name from argv[arg_index] when it
// exists (echoing it with a newline) or reads one line from the console
// (at most 255 characters) and cleans it. May return an empty name.
std::string obtain_file_name(Console& con, int argc, char** argv, int arg_index = 1);

// Reads one line from the console, as the prompt does (up to `max_length`
// characters, trailing control characters removed, no unquoting). False at
// end of input.
bool read_console_line(Console& con, std::string& line, size_t max_length = kMaxTypedName);

// The prompt with its own text and room: prints `prompt`, then takes
// argv[arg_index] when it exists (echoed with a newline) or reads and cleans
// one typed line of at most `max_length` characters. May return "".
std::string obtain_path(Console& con, const char* prompt, int argc, char** argv, int arg_index,
                        size_t max_length);

}  // namespace vgm
