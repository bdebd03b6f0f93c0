// fessick: renames VGM files after the track title of their GD3 tags. Given
// one file it renames that file; given an M3U playlist it renames every file
// the list names, numbering them in list order, and rewrites the playlist
// with the new names.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "vgm/console.h"

namespace fessick {

struct Options {
    std::optional<std::string> path;  // argument 1: a VGM file or a playlist
};

Options parse_options(int argc, char** argv);

// A playlist is a path whose name part ends in ".m3u", in any letter case.
bool is_playlist(const std::string& path);

struct TrackEntry {
    std::string old_path;                // as the file was opened
    std::string new_path;                // set when the entry is renamed
    std::optional<std::string> title;    // in the locale's multibyte form
    bool compressed = false;             // zlib decompressed the file
};

// Opens `path` through zlib, checks the "Vgm " signature and the stream
// positions, and appends the file with its title to `tracks`. Messages about
// the zlib stream go to `con`. False when the file is not taken.
bool take_track(vgm::Console& con, const std::string& path, std::vector<TrackEntry>& tracks);

// Digits of the numbers put in front of the names: those of `count`, at
// least 2.
unsigned number_width(size_t count);

// The name made from `source` (a title or a file name): the number `n`
// padded to `width` digits and a space when width is not 0, the text with
// the characters that file systems or shells dislike replaced, trailing dots
// and spaces removed, limited to about twice the source's length, and
// `ending` behind it. The name is then cut, at a character boundary, so that
// it fits in kNameMax bytes.
std::string form_name(const std::string& source, const std::string& ending, unsigned n, unsigned width);

// The longest file name the renamer produces (bytes).
constexpr size_t kNameMax = 255;

// The new name (without directory) for the entry at position n (from 1).
// An entry whose title gives no name at all is named after its file.
std::string new_name(const TrackEntry& entry, unsigned n, unsigned width);

int run(int argc, char** argv, vgm::Console& con);

}  // namespace fessick
