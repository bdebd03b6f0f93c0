#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "vgm/playlist.h"

using namespace vgm;

namespace {

std::vector<std::string> lines_of(const std::string& text) {
    return playlist_file_lines(Bytes(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

using Lines = std::vector<std::string>;

}  // namespace

TEST(Playlist, FileLines) {
    struct Case {
        const char* what;
        std::string text;
        Lines lines;
    };
    const std::vector<Case> cases = {
        {"plain lines", "a.vgm\nb.vgz\n", {"a.vgm", "b.vgz"}},
        {"CR before LF, no LF at the end", "a.vgm\r\nb.vgm\r\nc.vgm", {"a.vgm", "b.vgm", "c.vgm"}},
        {"blank and control-only lines", "\n\r\n \n\t\x01\na.vgm\n\n", {" ", "a.vgm"}},
        {"trailing controls go, trailing spaces stay", "a.vgm \t\x1f\r\n", {"a.vgm "}},
        {"a zero byte ends the line", std::string("a.vgm\0junk\nb.vgm\n", 17), {"a.vgm", "b.vgm"}},
        {"extended: #EXTINF lines skipped", "#EXTM3U\r\n#EXTINF:123,Song\r\na.vgm\r\n#EXTINF:1,B\r\nb.vgm\r\n",
         {"a.vgm", "b.vgm"}},
        {"extended after blank lines", "\n\n#EXTM3U\n#EXTINF:1,A\na.vgm\n", {"a.vgm"}},
        {"not extended: #EXTINF lines are file lines", "a.vgm\n#EXTINF:1,B\nb.vgm\n", {"a.vgm", "#EXTINF:1,B", "b.vgm"}},
        {"#EXTM3U must be the whole first line", "#EXTM3U x\n#EXTINF:1,A\n", {"#EXTM3U x", "#EXTINF:1,A"}},
        {"#EXTM3U later in the list is a file line", "a.vgm\n#EXTM3U\n#EXTINF:1\n", {"a.vgm", "#EXTM3U", "#EXTINF:1"}},
        {"a second #EXTM3U is a file line", "#EXTM3U\n#EXTM3U\n", {"#EXTM3U"}},
        {"#EXTINF: is matched exactly", "#EXTM3U\n#extinf:1,a\n#EXTINF1\n#EXTINF:\n",
         {"#extinf:1,a", "#EXTINF1"}},
        {"comment lines name files", "# my list\n;x\n", {"# my list", ";x"}},
        {"empty playlist", "", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(lines_of(c.text), c.lines) << c.what;
}

// Lines are taken in pieces of 1023 bytes; each piece is a line of its own.
TEST(Playlist, LongLinesArePieces) {
    const std::string exact(1023, 'a');
    EXPECT_EQ(lines_of(exact + "\n" + "b\n"), (Lines{exact, "b"}));  // the LF alone is an empty piece
    const std::string longer = std::string(1023, 'x') + std::string(1023, 'y') + "tail.vgm";
    EXPECT_EQ(lines_of(longer + "\r\n"), (Lines{std::string(1023, 'x'), std::string(1023, 'y'), "tail.vgm"}));
    // The CR of a CRLF can be the last byte of a full piece.
    EXPECT_EQ(lines_of(std::string(1022, 'z') + "\r\nq\n"), (Lines{std::string(1022, 'z'), "q"}));
}

TEST(Playlist, DirectoryAndNameParts) {
    struct Case {
        std::string path;
        Separators seps;
        std::string dir, name;
    };
    const std::vector<Case> cases = {
        {"list.m3u", Separators::SlashOrBackslash, "", "list.m3u"},
        {"a/b/list.m3u", Separators::SlashOrBackslash, "a/b/", "list.m3u"},
        {"a\\b/list.m3u", Separators::SlashOrBackslash, "a\\b/", "list.m3u"},
        {"a/b\\list.m3u", Separators::SlashOrBackslash, "a/b\\", "list.m3u"},
        {"dir/", Separators::SlashOrBackslash, "dir/", ""},
        {"lists/set.m3u", Separators::BackslashOnly, "", "lists/set.m3u"},
        {"c:\\music\\x/set.m3u", Separators::BackslashOnly, "c:\\music\\", "x/set.m3u"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(directory_part(c.path, c.seps), c.dir) << c.path;
        EXPECT_EQ(name_part(c.path, c.seps), c.name) << c.path;
    }
}

TEST(Playlist, ReadFromFile) {
    std::vector<std::string> lines = {"stale"};
    EXPECT_FALSE(read_playlist("/nonexistent/dir/list.m3u", lines));
    EXPECT_TRUE(lines.empty());
    // A directory opens but cannot be read.
    EXPECT_FALSE(read_playlist("/tmp", lines));

    char path[] = "/tmp/playlist_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    const std::string text = "#EXTM3U\r\n#EXTINF:1,A\r\nsub/a.vgm\r\n";
    ASSERT_EQ(write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    close(fd);
    EXPECT_TRUE(read_playlist(path, lines));
    EXPECT_EQ(lines, (Lines{"sub/a.vgm"}));
    unlink(path);
}
