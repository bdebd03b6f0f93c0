// What a directory holds: every entry's name, size, mode and contents, so a
// test can check that an operation changed exactly what it should.
#pragma once

#include <sys/types.h>

#include <map>
#include <string>

#include "vgm_builder.h"

namespace testvgm {

struct EntryState {
    off_t size = 0;
    mode_t mode = 0;  // full st_mode: type and permission bits
    ByteVec contents;  // regular files only
    bool operator==(const EntryState&) const = default;
};

using DirSnapshot = std::map<std::string, EntryState>;

// The entries of `dir` (not recursive; symbolic links are not followed).
DirSnapshot snapshot_dir(const std::string& dir);

}  // namespace testvgm
