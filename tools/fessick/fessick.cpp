#include "fessick.h"

#include <zlib.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <strings.h>

#include "vgm/bytes.h"
#include "vgm/fileio.h"
#include "vgm/frontend.h"
#include "vgm/gd3.h"
#include "vgm/playlist.h"

namespace fessick {

namespace {

constexpr const char* kPrompt = "VGM or PlayList:\t";
constexpr size_t kTypedPathMax = 1023;
constexpr size_t kHeaderSize = 228;
constexpr const char* kSignature = "Vgm ";
constexpr vgm::Separators kSeps = vgm::Separators::SlashOrBackslash;

// Closes a zlib stream when it goes out of scope.
struct GzFile {
    gzFile f;
    explicit GzFile(gzFile file) : f(file) {}
    ~GzFile() {
        if (f) gzclose(f);
    }
    GzFile(const GzFile&) = delete;
    GzFile& operator=(const GzFile&) = delete;
};

// Reads exactly n bytes; false on a short read or an error.
bool read_full(gzFile f, void* buf, unsigned n) { return gzread(f, buf, n) == static_cast<int>(n); }

// The first string of the tag the header points at, read through the stream
// from the tag's position: 16-bit units up to a zero unit, until the units
// cover the tag's length field, or until the stream ends.
std::u16string read_title_units(gzFile f, vgm::Bytes header) {
    std::u16string units;
    const uint32_t rel = vgm::load_le32(header, 0x14);
    if (rel == 0) return units;
    const uint32_t pos = rel + 0x14u;
    if (gzseek(f, static_cast<z_off_t>(pos), SEEK_SET) != static_cast<z_off_t>(pos)) return units;
    uint8_t head[vgm::kGd3HeadSize];
    if (!read_full(f, head, sizeof head)) return units;
    if (vgm::load_le32(head, 0) != vgm::kGd3Magic) return units;
    const uint32_t length = vgm::load_le32(head, 8);

    // The unit that reaches or crosses the end of the length is still read.
    uint64_t left = (uint64_t{length} + 1) / 2;
    uint8_t buf[4096];
    while (left > 0) {
        const unsigned want = static_cast<unsigned>(std::min<uint64_t>(left, sizeof buf / 2) * 2);
        const int got = gzread(f, buf, want);
        if (got <= 0) break;
        const size_t whole = static_cast<size_t>(got) / 2;
        for (size_t i = 0; i < whole; ++i) {
            const uint16_t unit = vgm::load_le16(buf, 2 * i);
            if (unit == 0) return units;
            units.push_back(static_cast<char16_t>(unit));
        }
        left -= whole;
        if (static_cast<unsigned>(got) < want) break;
    }
    return units;
}

// Length of the longest prefix of `s` of at most `max` bytes that ends at a
// character boundary of the current locale (bytes that form no character
// count one each).
size_t char_boundary(const std::string& s, size_t max) {
    if (s.size() <= max) return s.size();
    std::mbstate_t state{};
    size_t pos = 0;
    while (pos < s.size()) {
        size_t n = std::mbrlen(s.data() + pos, s.size() - pos, &state);
        if (n == static_cast<size_t>(-1) || n == static_cast<size_t>(-2) || n == 0) {
            n = 1;
            state = std::mbstate_t{};
        }
        if (pos + n > max) break;
        pos += n;
    }
    return pos;
}

void trim_dots_and_spaces(std::string& s) {
    while (!s.empty() && s.back() == '.') s.pop_back();
    while (!s.empty() && s.back() == ' ') s.pop_back();
}

void trim_spaces(std::string& s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
}

// Renames one entry after printing "old -> new"; returns the name the file
// has afterwards.
std::string rename_entry(vgm::Console& con, TrackEntry& entry, unsigned n, unsigned width) {
    const std::string old_name = vgm::name_part(entry.old_path, kSeps);
    const std::string name = new_name(entry, n, width);
    entry.new_path = vgm::directory_part(entry.old_path, kSeps) + name;
    con.print("%s -> %s\n", old_name.c_str(), name.c_str());
    if (entry.new_path == entry.old_path) return name;
    switch (vgm::rename_noreplace(entry.old_path, entry.new_path)) {
        case vgm::RenameResult::Renamed:
            return name;
        case vgm::RenameResult::TargetExists:
            con.print("%s already exists, %s keeps its name!\n", name.c_str(), old_name.c_str());
            break;
        case vgm::RenameResult::Failed:
            con.print("Error renaming %s!\n", old_name.c_str());
            break;
    }
    entry.new_path = entry.old_path;
    return old_name;
}

std::vector<std::string> rename_all(vgm::Console& con, std::vector<TrackEntry>& tracks, unsigned width) {
    std::vector<std::string> names;
    for (size_t i = 0; i < tracks.size(); ++i)
        names.push_back(rename_entry(con, tracks[i], static_cast<unsigned>(i + 1), width));
    return names;
}

int run_single(vgm::Console& con, const std::string& path) {
    std::vector<TrackEntry> tracks;
    if (!take_track(con, path, tracks)) con.line(vgm::kErrorOpeningFile);
    con.print("\n");
    rename_all(con, tracks, 0);
    con.line("Done.");
    return 0;
}

int run_playlist(vgm::Console& con, const std::string& path) {
    const std::string prefix = vgm::directory_part(path, kSeps);
    std::vector<std::string> lines;
    const bool listed = vgm::read_playlist(path, lines);
    std::vector<TrackEntry> tracks;
    for (const std::string& line : lines) {
        if (!take_track(con, prefix + line, tracks))
            con.print("%s\t%s\n", vgm::name_part(line, kSeps).c_str(), vgm::kErrorOpeningFile);
    }
    const unsigned width = number_width(tracks.size());
    con.print("\n");
    const std::vector<std::string> names = rename_all(con, tracks, width);

    // A playlist that could not be read is left as it is rather than
    // replaced by an empty one.
    if (listed) {
        con.line("Writing playlist ...");
        std::string text;
        for (const std::string& name : names) text += name + "\n";
        const vgm::Bytes bytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
        if (!vgm::replace_file(path, bytes, vgm::Compression::Plain)) {
            con.print("Error writing %s!\n", path.c_str());
            return 1;
        }
    }
    con.line("Done.");
    return 0;
}

}  // namespace

Options parse_options(int argc, char** argv) {
    Options opt;
    if (argc > 1 && argv[1] != nullptr) opt.path = argv[1];
    return opt;
}

bool is_playlist(const std::string& path) {
    const std::string name = vgm::name_part(path, kSeps);
    const size_t dot = name.rfind('.');
    return dot != std::string::npos && strcasecmp(name.c_str() + dot + 1, "m3u") == 0;
}

bool take_track(vgm::Console& con, const std::string& path, std::vector<TrackEntry>& tracks) {
    GzFile file(gzopen(path.c_str(), "rb"));
    gzFile f = file.f;
    if (!f) return false;
    uint8_t sig[4];
    if (!read_full(f, sig, sizeof sig) || std::memcmp(sig, kSignature, 4) != 0) return false;
    if (gzseek(f, 0, SEEK_SET) == -1) {
        con.line("gzseek Error!!");
        if (gzrewind(f) == -1) {
            con.line("gzrewind Error!!");
            return false;
        }
    }
    const z_off_t at = gztell(f);
    if (at != 0) {
        con.print("gztell returns invalid offset: 0x%X\n", static_cast<unsigned>(at));
        return false;
    }
    uint8_t header[kHeaderSize] = {};
    const int got = gzread(f, header, sizeof header);
    if (got < 4 || std::memcmp(header, kSignature, 4) != 0) {
        con.line("VGM signature matched on the first read, but not on the second one!");
        con.line("This is a known zlib bug where gzseek fails. Please install a fixed zlib.");
        return false;
    }

    TrackEntry entry;
    entry.old_path = path;
    entry.compressed = gzdirect(f) == 0;
    const std::u16string units = read_title_units(f, vgm::Bytes(header, static_cast<size_t>(got)));
    // A title that the locale turns into nothing (all of it unrepresentable)
    // is no more use as a name than no title at all.
    if (!units.empty()) {
        std::string title = vgm::title_to_multibyte(units);
        if (!title.empty()) entry.title = std::move(title);
    }
    tracks.push_back(std::move(entry));
    return true;
}

unsigned number_width(size_t count) {
    unsigned digits = 1;
    for (size_t c = count; c >= 10; c /= 10) ++digits;
    return digits < 2 ? 2 : digits;
}

std::string form_name(const std::string& source, const std::string& ending, unsigned n, unsigned width) {
    std::string out;
    if (width != 0) {
        char num[32];
        std::snprintf(num, sizeof num, "%0*u ", static_cast<int>(width), n);
        out = num;
    }
    const size_t room = width + 1 + 2 * source.size();
    const size_t stop = room + ending.size();
    for (size_t i = 0; i < source.size() && out.size() < stop;) {
        const char c = source[i++];
        switch (c) {
            case '!':
            case '?':
                break;
            case '"':
                out += '\'';
                break;
            case '/':
            case '\\':
                trim_spaces(out);
                out += '\'';
                while (i < source.size() && source[i] == ' ') ++i;
                break;
            case ':':
                out += " - ";
                while (i < source.size() && source[i] == ' ') ++i;
                break;
            case '<':
                out += '(';
                break;
            case '>':
                out += ')';
                break;
            case '|':
                out += '-';
                break;
            default:
                out += c;
        }
    }
    trim_dots_and_spaces(out);
    if (out.size() > room) out.resize(room);

    // Keep the whole name within what a file system takes. A name without
    // its own ending keeps the extension it has.
    std::string ext = ending;
    if (ext.empty()) {
        const size_t dot = out.rfind('.');
        if (dot != std::string::npos && dot > 0 && out.size() - dot <= 16) {
            ext = out.substr(dot);
            out.resize(dot);
        }
    }
    if (out.size() + ext.size() > kNameMax) {
        out.resize(char_boundary(out, kNameMax - ext.size()));
        trim_dots_and_spaces(out);
    }
    return out + ext;
}

std::string new_name(const TrackEntry& entry, unsigned n, unsigned width) {
    if (entry.title) {
        const std::string ending = entry.compressed ? ".vgz" : ".vgm";
        std::string name = form_name(*entry.title, ending, n, width);
        // A title made only of characters that are dropped gives no name.
        if (name.size() > ending.size()) return name;
    }
    const std::string old_name = vgm::name_part(entry.old_path, kSeps);
    std::string name = form_name(old_name, "", n, width);
    if (name.empty() || name == "." || name == "..") return old_name;
    return name;
}

int run(int argc, char** argv, vgm::Console& con) {
    std::setlocale(LC_CTYPE, "");
    const Options opt = parse_options(argc, argv);
    vgm::print_banner(con, "fessick", true);
    std::string path;
    if (opt.path) {
        con.print("%s%s\n", kPrompt, opt.path->c_str());
        path = *opt.path;
    } else {
        path = vgm::obtain_path(con, kPrompt, 0, nullptr, 0, kTypedPathMax);
    }
    if (path.empty()) return 0;
    const int code = is_playlist(path) ? run_playlist(con, path) : run_single(con, path);
    con.flush();
    return code;
}

}  // namespace fessick
