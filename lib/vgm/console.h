// The console a program talks to: formatted output to one stream, line input
// from another. Programs take a Console so that tests can run them in-process.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>

namespace vgm {

struct Console {
    FILE* out = stdout;
    FILE* in = stdin;

    [[gnu::format(printf, 2, 3)]] void print(const char* fmt, ...) {
        va_list ap;
        va_start(ap, fmt);
        std::vfprintf(out, fmt, ap);
        va_end(ap);
    }
    // Text followed by a newline.
    void line(const std::string& text) {
        std::fputs(text.c_str(), out);
        std::fputc('\n', out);
    }
    void flush() { std::fflush(out); }
};

// Blanks a progress line: eight tabs and a carriage return.
inline constexpr const char* kClearLine = "\t\t\t\t\t\t\t\t\r";

// What a command walk prints for a byte without a defined length.
inline void print_unknown_command(Console& con, uint8_t op) { con.print("Unknown Command: %X\n", op); }

// The message of a file that cannot be opened or read.
inline constexpr const char* kErrorOpeningFile = "Error opening the file!";

}  // namespace vgm
