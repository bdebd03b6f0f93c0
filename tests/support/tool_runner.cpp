#include "tool_runner.h"

#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

extern char** environ;

namespace testvgm {

TempDir::TempDir() {
    char tmpl[] = "/tmp/vgmtest_XXXXXX";
    if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

std::string TempDir::write(const std::string& name, const ByteVec& bytes) const {
    const std::string p = file(name);
    FILE* f = std::fopen(p.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot write " + p);
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return p;
}

ByteVec TempDir::read(const std::string& name) const {
    ByteVec out;
    FILE* f = std::fopen(file(name).c_str(), "rb");
    if (!f) return out;
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
    std::fclose(f);
    return out;
}

bool TempDir::exists(const std::string& name) const {
    struct stat st;
    return ::stat(file(name).c_str(), &st) == 0;
}

std::vector<std::string> TempDir::list() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(path_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string tool_path(const std::string& program) { return std::string(TOOLS_BIN_DIR) + "/" + program; }

RunResult run_tool(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
                   const std::string& input) {
    TempDir io;
    io.write("stdin", ByteVec(input.begin(), input.end()));
    const std::string in_path = io.file("stdin");
    const std::string out_path = io.file("stdout");

    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, in_path.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&fa, cwd.c_str());

    const std::string exe = tool_path(program);
    std::vector<std::string> argv_s = {program};
    argv_s.insert(argv_s.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argv_s) argv.push_back(a.data());
    argv.push_back(nullptr);

    RunResult r;
    pid_t pid;
    if (posix_spawn(&pid, exe.c_str(), &fa, nullptr, argv.data(), environ) != 0) {
        posix_spawn_file_actions_destroy(&fa);
        throw std::runtime_error("cannot start " + exe);
    }
    posix_spawn_file_actions_destroy(&fa);
    int status = 0;
    waitpid(pid, &status, 0);
    r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    const ByteVec out = io.read("stdout");
    r.out.assign(out.begin(), out.end());
    return r;
}

std::string corpus_dir() {
    struct stat st;
    if (::stat(CORPUS_DIR, &st) == 0 && S_ISDIR(st.st_mode)) return CORPUS_DIR;
    return "";
}

std::string banner(const std::string& title, bool extra_empty_line) {
    return title + "\n" + std::string(title.size(), '-') + "\n" + (extra_empty_line ? "\n" : "");
}

}  // namespace testvgm
