// M3U playlists as the collection tools read them.
//
// A playlist is a text file of lines, each naming a file relative to the
// playlist's own directory. Lines are taken in pieces of at most 1023 bytes
// (a longer line gives several pieces, each a line of its own); trailing
// bytes 0x00-0x1F (CR and LF among them) are dropped and lines left empty
// are skipped. When the first non-empty line is exactly "#EXTM3U" the list
// is an extended one and its "#EXTINF:" lines are skipped too; every other
// line, "#" lines included, names a file.
#pragma once

#include <string>
#include <vector>

#include "vgm/bytes.h"

namespace vgm {

// The longest piece of a line that is taken as one line.
constexpr size_t kPlaylistLineMax = 1023;

// The file lines of a playlist's text, in order.
std::vector<std::string> playlist_file_lines(Bytes text);

// Reads the playlist at `path` into its file lines. False, with `lines`
// empty, when the file cannot be opened or read.
bool read_playlist(const std::string& path, std::vector<std::string>& lines);

// Which bytes end the directory part of a path.
enum class Separators {
    SlashOrBackslash,  // '/' or '\\', whichever comes later
    BackslashOnly,
};

// The directory part of a path: up to and including its last separator, or
// "" when it has none.
std::string directory_part(const std::string& path, Separators seps);

// The rest of the path behind its directory part.
std::string name_part(const std::string& path, Separators seps);

}  // namespace vgm
