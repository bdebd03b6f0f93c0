#include "bexolt.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "vgm/fileio.h"
#include "vgm/frontend.h"
#include "vgm/playlist.h"
#include "wave.h"

namespace bexolt {

namespace {

constexpr const char* kPlaylistPrompt = "PlayList:\t";
constexpr const char* kVolumePrompt = "Volume Setting (default 1.0):\t";
constexpr size_t kTypedPathMax = 1023;
constexpr size_t kTypedVolumeMax = 255;

// A whole file as bytes: mapped when it is a regular file, read otherwise.
class WholeFile {
public:
    WholeFile() = default;
    WholeFile(const WholeFile&) = delete;
    WholeFile& operator=(const WholeFile&) = delete;
    ~WholeFile() {
        if (map_) munmap(map_, size_);
    }

    bool open(const std::string& path) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return false;
        struct stat st;
        bool ok = ::fstat(fd, &st) == 0;
        if (ok && S_ISREG(st.st_mode) && st.st_size > 0) {
            void* p = mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
            if (p != MAP_FAILED) {
                map_ = p;
                size_ = static_cast<size_t>(st.st_size);
                ::close(fd);
                return true;
            }
        }
        ::close(fd);
        return ok && vgm::read_file(path, copy_);
    }

    vgm::Bytes bytes() const {
        if (map_) return {static_cast<const uint8_t*>(map_), size_};
        return copy_;
    }

private:
    void* map_ = nullptr;
    size_t size_ = 0;
    std::vector<uint8_t> copy_;
};

}  // namespace

Options parse_options(int argc, char** argv) {
    Options opt;
    if (argc > 1 && argv[1] != nullptr) opt.playlist = argv[1];
    if (argc > 2 && argv[2] != nullptr) opt.volume = argv[2];
    return opt;
}

float parse_volume(const std::string& text) {
    const float v = static_cast<float>(std::strtod(text.c_str(), nullptr));
    // "nan" parses as a number but gives no usable factor.
    if (v == 0.0f || std::isnan(v)) return 1.0f;
    return v;
}

Level level_for(uint16_t peak, float volume) {
    Level l;
    float f = 32768.0f / static_cast<float>(peak);
    f = f * volume;
    if (f < 0.25f)
        f = 0.25f;
    else if (f > 64.0f)
        f = 64.0f;
    l.factor = f;
    // The gain of the modifier is 2^(value/32).
    const int v = static_cast<int>(std::floor(std::log(static_cast<double>(f)) / 0.6931471805599453 * 32));
    l.volmod = v == -64 ? 0xC1 : static_cast<uint8_t>(v & 0xFF);
    return l;
}

std::string report(uint16_t peak, float volume) {
    if (peak == 0) return "--\n";
    const Level l = level_for(peak, volume);
    char buf[96];
    std::snprintf(buf, sizeof buf, "MaxLevel: %04X\tFactor: %.3f\tVolMod: 0x%02X\n", peak,
                  static_cast<double>(l.factor), l.volmod);
    return buf;
}

std::string wave_name(const std::string& line) {
    const size_t dot = line.rfind('.');
    if (dot == std::string::npos) return line;
    return line.substr(0, dot + 1) + "wav";
}

int run(int argc, char** argv, vgm::Console& con) {
    const Options opt = parse_options(argc, argv);
    vgm::print_banner(con, "bexolt", true);
    std::string path;
    if (opt.playlist) {
        con.print("%s%s\n", kPlaylistPrompt, opt.playlist->c_str());
        path = *opt.playlist;
    } else {
        path = vgm::obtain_path(con, kPlaylistPrompt, 0, nullptr, 0, kTypedPathMax);
    }
    if (path.empty()) return 0;

    con.print("%s", kVolumePrompt);
    std::string text;
    if (opt.volume) {
        text = *opt.volume;
        con.print("%s\n", text.c_str());
    } else {
        con.flush();
        vgm::read_console_line(con, text, kTypedVolumeMax);
    }
    const float volume = parse_volume(text);

    const std::string prefix = vgm::directory_part(path, vgm::Separators::BackslashOnly);
    std::vector<std::string> lines;
    vgm::read_playlist(path, lines);  // an unreadable playlist lists nothing
    uint16_t overall = 0;
    for (const std::string& line : lines) {
        const std::string name = wave_name(line);
        con.print("%s\t", vgm::name_part(name, vgm::Separators::BackslashOnly).c_str());
        WholeFile file;
        if (!file.open(prefix + name)) {
            con.line("Error opening file!");
            continue;
        }
        const WaveData w = find_wave_data(file.bytes());
        if (w.status != WaveStatus::Ok) {
            con.line(wave_message(w.status));
            continue;
        }
        const uint16_t peak = wave_peak(file.bytes(), w.pos, w.size);
        con.print("%s", report(peak, volume).c_str());
        overall = std::max(overall, peak);
    }
    con.print("\nAll tracks\t%s\n", report(overall, volume).c_str());
    con.flush();
    return 0;
}

}  // namespace bexolt
