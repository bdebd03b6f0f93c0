#include "vgm/playlist.h"

#include <cstring>

#include "vgm/fileio.h"

namespace vgm {

std::vector<std::string> playlist_file_lines(Bytes text) {
    std::vector<std::string> lines;
    bool first = true;
    bool extended = false;
    size_t pos = 0;
    while (pos < text.size()) {
        // One piece: up to and including a newline, at most 1023 bytes.
        size_t end = pos;
        while (end < text.size() && end - pos < kPlaylistLineMax) {
            if (text[end++] == '\n') break;
        }
        const char* start = reinterpret_cast<const char*>(text.data() + pos);
        // A zero byte ends the line's text, as in a C string.
        std::string line(start, strnlen(start, end - pos));
        pos = end;

        while (!line.empty() && static_cast<unsigned char>(line.back()) <= 0x1F) line.pop_back();
        if (line.empty()) continue;
        if (first) {
            first = false;
            if (line == "#EXTM3U") {
                extended = true;
                continue;
            }
        }
        if (extended && line.compare(0, 8, "#EXTINF:") == 0) continue;
        lines.push_back(std::move(line));
    }
    return lines;
}

bool read_playlist(const std::string& path, std::vector<std::string>& lines) {
    lines.clear();
    std::vector<uint8_t> text;
    if (!read_file(path, text)) return false;
    lines = playlist_file_lines(text);
    return true;
}

static size_t directory_end(const std::string& path, Separators seps) {
    const size_t cut = seps == Separators::BackslashOnly ? path.rfind('\\') : path.find_last_of("/\\");
    return cut == std::string::npos ? 0 : cut + 1;
}

std::string directory_part(const std::string& path, Separators seps) {
    return path.substr(0, directory_end(path, seps));
}

std::string name_part(const std::string& path, Separators seps) { return path.substr(directory_end(path, seps)); }

}  // namespace vgm
