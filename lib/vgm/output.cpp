#include "vgm/output.h"

#include "vgm/fileio.h"

namespace vgm {

std::string output_name(const std::string& base_name, const std::string& suffix, int argc, char** argv,
                        int out_arg_index) {
    if (out_arg_index > 0 && out_arg_index < argc && argv[out_arg_index] && argv[out_arg_index][0] != '\0')
        return argv[out_arg_index];
    return base_name + suffix;
}

std::string name_after_backslash(const std::string& name) {
    const size_t bs = name.rfind('\\');
    return bs == std::string::npos ? name : name.substr(bs + 1);
}

bool write_output(Console& con, const std::string& name, Bytes data, MessageStyle style, const char* clear) {
    con.print("%s", clear);
    const bool ok = write_file_atomic(name, data);
    const std::string shown = style == MessageStyle::A ? name_after_backslash(name) : name;
    if (!ok)
        con.print("Error writing %s!\n", shown.c_str());
    else if (style == MessageStyle::A)
        con.print("%s written.\n", shown.c_str());
    else
        con.line("File written.");
    return ok;
}

}  // namespace vgm
