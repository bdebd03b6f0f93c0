// The playlist reader and the names made from its lines over arbitrary
// text: lines stay within their piece size, carry no trailing control bytes,
// and a name made from any text stays one name in its directory.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bexolt.h"
#include "fessick.h"
#include "vgm/playlist.h"

namespace {

// Whether the text's very first piece reads as "#EXTM3U".
bool starts_extended(const uint8_t* data, size_t size) {
    size_t end = 0;
    while (end < size && end < vgm::kPlaylistLineMax && data[end] != '\n') ++end;
    std::string first(reinterpret_cast<const char*>(data), end);
    first.resize(std::strlen(first.c_str()));
    while (!first.empty() && static_cast<unsigned char>(first.back()) <= 0x1F) first.pop_back();
    return first == "#EXTM3U";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const vgm::Bytes text(data, size);
    const std::vector<std::string> lines = vgm::playlist_file_lines(text);
    const bool extended = starts_extended(data, size);
    size_t total = 0;
    for (const std::string& line : lines) {
        if (line.empty() || line.size() > vgm::kPlaylistLineMax) std::abort();
        if (static_cast<unsigned char>(line.back()) <= 0x1F) std::abort();
        if (line.find('\0') != std::string::npos) std::abort();
        if (extended && line.compare(0, 8, "#EXTINF:") == 0) std::abort();
        total += line.size();

        const std::string dir = vgm::directory_part(line, vgm::Separators::SlashOrBackslash);
        if (dir + vgm::name_part(line, vgm::Separators::SlashOrBackslash) != line) std::abort();
        for (unsigned width : {0u, 2u, 5u}) {
            for (const char* ending : {".vgm", ""}) {
                const std::string name = fessick::form_name(line, ending, 7, width);
                if (name.size() > fessick::kNameMax) std::abort();
                if (name.find_first_of("/\\!?\":<>|") != std::string::npos) std::abort();
                if (name.size() < std::strlen(ending) || name.compare(name.size() - std::strlen(ending), std::string::npos, ending) != 0)
                    std::abort();
            }
        }
        const std::string wav = bexolt::wave_name(line);
        if (line.find('.') != std::string::npos && wav.compare(wav.size() - 4, 4, ".wav") != 0) std::abort();
    }
    if (total > size) std::abort();
    return 0;
}

std::vector<std::vector<uint8_t>> fuzz_seeds() {
    const std::string extended = "#EXTM3U\r\n#EXTINF:120,Stage 1: Forest\r\nsub/a.vgm\r\n\r\n#EXTINF:1,B\r\nb?.vgz\r\n";
    const std::string plain = "What?!.vgm\nA / B:  C.vgm\n<Boss>|\"x\"\n# comment\n" + std::string(1030, ':') + "\n";
    return {std::vector<uint8_t>(extended.begin(), extended.end()), std::vector<uint8_t>(plain.begin(), plain.end())};
}
