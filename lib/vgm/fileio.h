// Writing files safely: the new contents go to a temporary file beside the
// target, which replaces the target only once it is complete.
#pragma once

#include <string>
#include <vector>

#include "vgm/bytes.h"

namespace vgm {

// Writes `data` to `path` through a temporary file in the same directory and
// a rename. On failure nothing is left behind and an existing file at `path`
// is untouched. Returns false when the file could not be written.
bool write_file_atomic(const std::string& path, Bytes data);

enum class Compression { Plain, Gzip };

// Replaces the existing file `path` with `data`: a short temporary name in the
// same directory, written completely (gzip-compressed when asked), flushed to
// disk, given the old file's mode, then renamed over `path`. A symbolic link
// is followed, so the file it points at is replaced and the link stays. On any
// failure the original is untouched and no temporary file is left.
bool replace_file(const std::string& path, Bytes data, Compression compression);

enum class RenameResult { Renamed, TargetExists, Failed };

// Renames `from` to `to` without ever replacing an existing `to`
// (renameat2 RENAME_NOREPLACE; link() + unlink() where the file system refuses
// renameat2).
RenameResult rename_noreplace(const std::string& from, const std::string& to);

// Compresses `data` into a gzip stream. False when zlib fails.
bool gzip_compress(Bytes data, std::vector<uint8_t>& out);

// Reads a whole plain file. False when it cannot be opened or read.
bool read_file(const std::string& path, std::vector<uint8_t>& out);

}  // namespace vgm
