#include "vgm/frontend.h"

#include <cstring>
#include <vector>

namespace vgm {

void print_banner(Console& con, const std::string& title, bool extra_empty_line) {
    std::string text = title + "\n" + std::string(title.size(), '-');
    if (extra_empty_line) text += "\n";
    con.line(text);
}

static void strip_trailing_controls(std::string& name) {
    while (!name.empty() && static_cast<unsigned char>(name.back()) <= 0x1F) name.pop_back();
}

std::string clean_typed_name(std::string name) {
    // A NUL byte typed into the line ends the string, as in a C buffer.
    if (const size_t nul = name.find('\0'); nul != std::string::npos) name.resize(nul);
    strip_trailing_controls(name);
    if (!name.empty() && name.front() == '\'') {
        name.erase(0, 1);
        if (const size_t last = name.rfind('\''); last != std::string::npos) name.resize(last);
    }
    return name;
}

bool read_console_line(Console& con, std::string& line, size_t max_length) {
    std::vector<char> buf(max_length + 1);
    line.clear();
    if (!std::fgets(buf.data(), static_cast<int>(buf.size()), con.in)) return false;
    // fgets stops after the newline or when the buffer is full; the rest of
    // an over-long line stays unread, as with the fixed name buffer.
    line.assign(buf.data(), std::strlen(buf.data()));
    strip_trailing_controls(line);
    return true;
}

std::string obtain_path(Console& con, const char* prompt, int argc, char** argv, int arg_index,
                        size_t max_length) {
    con.print("%s", prompt);
    if (arg_index < argc && argv[arg_index] != nullptr) {
        // Names from the command line are taken whole, however long.
        std::string name = argv[arg_index];
        con.print("%s\n", name.c_str());
        return name;
    }
    con.flush();
    std::string line;
    if (!read_console_line(con, line, max_length)) return {};
    return clean_typed_name(line);
}

std::string obtain_file_name(Console& con, int argc, char** argv, int arg_index) {
    return obtain_path(con, "File Name:\t", argc, argv, arg_index, kMaxTypedName);
}

}  // namespace vgm
