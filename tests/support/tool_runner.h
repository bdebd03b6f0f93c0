// Runs the real executables for end-to-end tests, in a scratch directory.
#pragma once

#include <string>
#include <vector>

#include "vgm_builder.h"

namespace testvgm {

struct RunResult {
    int exit_code = -1;
    std::string out;  // standard output, byte for byte
};

// A fresh directory under /tmp, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    // Writes a file (relative name) and returns its full path.
    std::string write(const std::string& name, const ByteVec& bytes) const;
    ByteVec read(const std::string& name) const;
    bool exists(const std::string& name) const;
    // Names of the entries of the directory, sorted.
    std::vector<std::string> list() const;

private:
    std::string path_;
};

// Path of a program in the build's bin directory.
std::string tool_path(const std::string& program);

// Runs `program` with `args` in directory `cwd`, feeding `input` on stdin.
RunResult run_tool(const std::string& program, const std::vector<std::string>& args, const std::string& cwd,
                   const std::string& input = "");

// The corpus of real files, or "" when it is not there.
std::string corpus_dir();

// Banner text as printed: title, dashes, and the optional empty line.
std::string banner(const std::string& title, bool extra_empty_line = true);

}  // namespace testvgm
