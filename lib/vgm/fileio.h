// Writing files safely: the new contents go to a temporary file beside the
// target, which replaces the target only once it is complete.
#pragma once

#include <string>

#include "vgm/bytes.h"

namespace vgm {

// Writes `data` to `path` through a temporary file in the same directory and
// a rename. On failure nothing is left behind and an existing file at `path`
// is untouched. Returns false when the file could not be written.
bool write_file_atomic(const std::string& path, Bytes data);

// Reads a whole plain file. False when it cannot be opened or read.
bool read_file(const std::string& path, std::vector<uint8_t>& out);

}  // namespace vgm
