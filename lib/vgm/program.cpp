#include "vgm/program.h"

#include "vgm/frontend.h"

namespace vgm {

std::optional<VgmImage> start_vgm_program(Console& con, int argc, char** argv, const FrontEnd& fe, int& exit_code) {
    print_banner(con, fe.title, fe.extra_empty_line);
    const std::string name = obtain_file_name(con, argc, argv, fe.name_arg);
    if (name.empty()) {
        exit_code = fe.empty_name_exit;
        return std::nullopt;
    }
    auto img = load_vgm(con, name, fe.profile);
    if (!img) exit_code = 1;
    return img;
}

}  // namespace vgm
