// fessick end to end: the real program renaming files built byte by byte in
// a scratch directory, and the name rules on their own.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "fessick.h"
#include "tool_runner.h"
#include "vgm/bytes.h"
#include "vgm_builder.h"

using testvgm::ByteVec;
using testvgm::run_tool;
using testvgm::TempDir;
using testvgm::VgmBuilder;

namespace {

// A small VGM file whose tag holds `title` as its first string.
ByteVec vgm_titled(const std::u16string& title) {
    ByteVec f = VgmBuilder().wait(100).end().build();
    const ByteVec tag = testvgm::gd3_block({title, u"", u"Game", u"", u"System"});
    vgm::store_le32(f, 0x14, static_cast<uint32_t>(f.size() - 0x14));
    f.insert(f.end(), tag.begin(), tag.end());
    vgm::store_le32(f, 0x04, static_cast<uint32_t>(f.size() - 4));
    return f;
}

ByteVec vgm_ascii(const std::string& title) { return vgm_titled(std::u16string(title.begin(), title.end())); }

ByteVec vgm_untagged() { return VgmBuilder().wait(100).end().build(); }

ByteVec text_bytes(const std::string& s) { return ByteVec(s.begin(), s.end()); }
std::string as_text(const ByteVec& b) { return std::string(b.begin(), b.end()); }

std::string head(const std::string& path) {
    return testvgm::banner("fessick") + "VGM or PlayList:\t" + path + "\n";
}

// Runs with LC_ALL set for the child (the program takes its character type
// from the environment), restoring the test's own setting afterwards.
class LocaleEnv {
public:
    explicit LocaleEnv(const char* value) {
        const char* old = std::getenv("LC_ALL");
        had_ = old != nullptr;
        if (had_) old_ = old;
        setenv("LC_ALL", value, 1);
    }
    ~LocaleEnv() {
        if (had_)
            setenv("LC_ALL", old_.c_str(), 1);
        else
            unsetenv("LC_ALL");
    }

private:
    bool had_ = false;
    std::string old_;
};

bool have_utf8_locale() {
    const char* saved = std::setlocale(LC_CTYPE, nullptr);
    const std::string keep = saved ? saved : "C";
    const bool ok = std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr;
    std::setlocale(LC_CTYPE, keep.c_str());
    return ok;
}

}  // namespace

// Single-file mode, one title per case: the name the file gets, checked on
// the console and in the directory, with the file's bytes untouched.
TEST(Fessick, TitlesGiveNames) {
    struct Case {
        std::string title, name;
    };
    const std::vector<Case> cases = {
        {"Stage 1: Forest", "Stage 1 - Forest.vgm"},
        {"What?!", "What.vgm"},
        {"AC/DC", "AC'DC.vgm"},
        {"A / B", "A'B.vgm"},
        {"A \\  B", "A'B.vgm"},
        {"Mr.", "Mr.vgm"},
        {"Intro ", "Intro.vgm"},
        {"Song. ", "Song..vgm"},
        {"<Boss>", "(Boss).vgm"},
        {"The \"Word\"", "The 'Word'.vgm"},
        {"A|B", "A-B.vgm"},
        {"A*B", "A*B.vgm"},
        {"Time:  Up", "Time - Up.vgm"},
        {"Tab\there", "Tab\there.vgm"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        const ByteVec file = vgm_ascii(c.title);
        dir.write("t.vgm", file);
        const auto r = run_tool("fessick", {"t.vgm"}, dir.path());
        EXPECT_EQ(r.exit_code, 0) << c.title;
        EXPECT_EQ(r.out, head("t.vgm") + "\nt.vgm -> " + c.name + "\nDone.\n") << c.title;
        EXPECT_EQ(dir.list(), std::vector<std::string>{c.name}) << c.title;
        EXPECT_EQ(dir.read(c.name), file) << c.title;
    }
}

// Files without a usable title keep their name, passed through the same
// replacements; an empty or dropped-only title counts as none.
TEST(Fessick, NoTitleKeepsTheFileName) {
    ByteVec bad_magic = vgm_ascii("Title");
    bad_magic[vgm::load_le32(bad_magic, 0x14) + 0x14] = 'g';  // "Gd3 " -> "gd3 "
    ByteVec past_end = vgm_ascii("Title");
    vgm::store_le32(past_end, 0x14, 0x10000);
    struct Case {
        const char* what;
        std::string file_name;
        ByteVec bytes;
        std::string name;
    };
    const std::vector<Case> cases = {
        {"no tag", "song.vgm", vgm_untagged(), "song.vgm"},
        {"no tag, replaced characters", "what?.vgm", vgm_untagged(), "what.vgm"},
        {"magic in the wrong case", "m.vgm", bad_magic, "m.vgm"},
        {"tag offset past the end", "p.vgm", past_end, "p.vgm"},
        {"empty first string", "e.vgm", vgm_ascii(""), "e.vgm"},
        {"title of dropped characters only", "q.vgm", vgm_ascii("?!?"), "q.vgm"},
        {"title of dots only", "d.vgm", vgm_ascii("..."), "d.vgm"},
        {"a name that would vanish stays", "!!!", vgm_untagged(), "!!!"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        dir.write(c.file_name, c.bytes);
        const auto r = run_tool("fessick", {c.file_name}, dir.path());
        EXPECT_EQ(r.exit_code, 0) << c.what;
        EXPECT_EQ(r.out, head(c.file_name) + "\n" + c.file_name + " -> " + c.name + "\nDone.\n") << c.what;
        EXPECT_EQ(dir.list(), std::vector<std::string>{c.name}) << c.what;
    }
}

TEST(Fessick, TagEdges) {
    // No zero unit: the title is every unit within the length field.
    ByteVec open_ended = vgm_untagged();
    const size_t at = open_ended.size();
    ByteVec tag = {'G', 'd', '3', ' ', 0, 0, 0, 0, 4, 0, 0, 0, 'O', 0, 'K', 0, 'X', 0};
    open_ended.insert(open_ended.end(), tag.begin(), tag.end());
    vgm::store_le32(open_ended, 0x14, static_cast<uint32_t>(at - 0x14));
    vgm::store_le32(open_ended, 0x04, static_cast<uint32_t>(open_ended.size() - 4));
    // An odd length still reads the unit that crosses its end; the file ends
    // inside the next unit.
    ByteVec odd = open_ended;
    vgm::store_le32(odd, at + 8, 3);
    odd.pop_back();
    // A length far beyond the file: units up to the end.
    ByteVec huge = open_ended;
    vgm::store_le32(huge, at + 8, 0xFFFFFFF0u);
    struct Case {
        const char* what;
        ByteVec bytes;
        std::string name;
    };
    const std::vector<Case> cases = {
        {"no zero unit", open_ended, "OK.vgm"},
        {"odd length", odd, "OK.vgm"},
        {"huge length", huge, "OKX.vgm"},
    };
    for (const auto& c : cases) {
        TempDir dir;
        dir.write("t.vgm", c.bytes);
        const auto r = run_tool("fessick", {"t.vgm"}, dir.path());
        EXPECT_EQ(r.out, head("t.vgm") + "\nt.vgm -> " + c.name + "\nDone.\n") << c.what;
        EXPECT_EQ(dir.list(), std::vector<std::string>{c.name}) << c.what;
    }
}

// A gzip-compressed file is read through zlib and gets the .vgz ending,
// whatever its own name said; its bytes are not touched.
TEST(Fessick, CompressedFileGetsVgz) {
    TempDir dir;
    const ByteVec gz = testvgm::gzip(vgm_ascii("Stage 1: Forest"));
    dir.write("x.vgm", gz);
    const auto r = run_tool("fessick", {"x.vgm"}, dir.path());
    EXPECT_EQ(r.out, head("x.vgm") + "\nx.vgm -> Stage 1 - Forest.vgz\nDone.\n");
    EXPECT_EQ(dir.list(), std::vector<std::string>{"Stage 1 - Forest.vgz"});
    EXPECT_EQ(dir.read("Stage 1 - Forest.vgz"), gz);
}

TEST(Fessick, FilesThatAreNotTaken) {
    struct Case {
        const char* what;
        std::string name;
        ByteVec bytes;
    };
    const std::vector<Case> cases = {
        {"not a VGM file", "a.vgm", text_bytes("RIFF....WAVE")},
        {"empty file", "b.vgm", {}},
        {"short signature", "c.vgm", text_bytes("Vgm")},
        {"gzip of something else", "d.vgz", testvgm::gzip(text_bytes("not vgm data at all"))},
        {"a playlist by its name only in single-file mode", "list.m3u8", text_bytes("a.vgm\n")},
    };
    for (const auto& c : cases) {
        TempDir dir;
        dir.write(c.name, c.bytes);
        const auto r = run_tool("fessick", {c.name}, dir.path());
        EXPECT_EQ(r.exit_code, 0) << c.what;
        EXPECT_EQ(r.out, head(c.name) + "Error opening the file!\n\nDone.\n") << c.what;
        EXPECT_EQ(dir.list(), std::vector<std::string>{c.name}) << c.what;
    }
    TempDir dir;
    const auto r = run_tool("fessick", {"missing.vgm"}, dir.path());
    EXPECT_EQ(r.out, head("missing.vgm") + "Error opening the file!\n\nDone.\n");
    EXPECT_TRUE(dir.list().empty());
}

TEST(Fessick, Prompt) {
    TempDir dir;
    dir.write("my song.vgm", vgm_ascii("Quoted"));
    auto r = run_tool("fessick", {}, dir.path(), "'my song.vgm'\r\n");
    EXPECT_EQ(r.out, testvgm::banner("fessick") + "VGM or PlayList:\t\nmy song.vgm -> Quoted.vgm\nDone.\n");
    EXPECT_EQ(dir.list(), std::vector<std::string>{"Quoted.vgm"});

    // An empty line, or no input at all, ends the run at once.
    for (const std::string input : {"\n", ""}) {
        r = run_tool("fessick", {}, dir.path(), input);
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.out, testvgm::banner("fessick") + "VGM or PlayList:\t");
    }
    EXPECT_EQ(dir.list(), std::vector<std::string>{"Quoted.vgm"});
}

// Titles outside ASCII go through the locale of the environment: a UTF-8
// locale keeps as many characters as fit in as many bytes as the title has
// characters; in the C locale such a title converts to nothing and the file
// keeps its name.
TEST(Fessick, WideCharacterTitles) {
    if (!have_utf8_locale()) GTEST_SKIP() << "no C.UTF-8 locale";
    struct Case {
        const char* locale;
        std::u16string title;
        std::string name;
    };
    const std::vector<Case> cases = {
        {"C.UTF-8", u"\u68ee\u306e\u6b4c", "\xe6\xa3\xae.vgm"},  // three characters, one fits in three bytes
        {"C.UTF-8", u"\u591c\u660e\u3051\u306e\u68ee\u306e\u6b4c\u3092\u8074\u304f",
         "\xe5\xa4\x9c\xe6\x98\x8e\xe3\x81\x91.vgm"},            // ten characters, three fit
        {"C.UTF-8", u"Caf\u00e9 Boss", "Caf\xc3\xa9 Bos.vgm"},  // nine characters, nine bytes
        {"C", u"\u68ee\u306e\u6b4c", "t.vgm"},
        {"C", u"Boss \u68ee", "Boss.vgm"},  // conversion stops at the first character it cannot write
    };
    for (const auto& c : cases) {
        LocaleEnv env(c.locale);
        TempDir dir;
        dir.write("t.vgm", vgm_titled(c.title));
        const auto r = run_tool("fessick", {"t.vgm"}, dir.path());
        EXPECT_EQ(r.out, head("t.vgm") + "\nt.vgm -> " + c.name + "\nDone.\n") << c.locale << " " << c.name;
        EXPECT_EQ(dir.list(), std::vector<std::string>{c.name}) << c.locale;
    }
}

// Names near the file system's limit of 255 bytes: up to it they are used
// whole; longer ones are cut before the ending, at a character boundary.
TEST(Fessick, LongTitles) {
    struct Case {
        const char* locale;
        std::u16string title;
        std::string name;
    };
    const std::vector<Case> cases = {
        {"C", std::u16string(251, u'a'), std::string(251, 'a') + ".vgm"},
        {"C", std::u16string(252, u'a'), std::string(251, 'a') + ".vgm"},
        {"C", std::u16string(600, u'b'), std::string(251, 'b') + ".vgm"},
        {"C", std::u16string(250, u'c') + u" .", std::string(250, 'c') + ".vgm"},  // cut, then trimmed again
    };
    std::vector<Case> all = cases;
    if (have_utf8_locale()) {
        std::string e;
        for (int i = 0; i < 125; ++i) e += "\xc3\xa9";  // 250 bytes: one more would not fit
        all.push_back({"C.UTF-8", std::u16string(400, u'\u00e9'), e + ".vgm"});
    }
    for (const auto& c : all) {
        LocaleEnv env(c.locale);
        TempDir dir;
        dir.write("t.vgm", vgm_titled(c.title));
        const auto r = run_tool("fessick", {"t.vgm"}, dir.path());
        EXPECT_EQ(r.out, head("t.vgm") + "\nt.vgm -> " + c.name + "\nDone.\n") << c.name.size();
        EXPECT_EQ(dir.list(), std::vector<std::string>{c.name}) << c.name.size();
    }
}

// The limit of about twice the source's length: colons grow three times, so
// a title of colons is stopped and cut to 1 + 2 x its length.
TEST(Fessick, GrowthLimit) {
    std::string cut;
    for (int i = 0; i < 7; ++i) cut += " - ";
    EXPECT_EQ(fessick::form_name(std::string(10, ':'), ".vgm", 0, 0), cut + ".vgm");
    EXPECT_EQ(fessick::form_name(":::", ".vgm", 0, 0), " -  -  .vgm");
    EXPECT_EQ(fessick::form_name("a:b", ".vgm", 0, 0), "a - b.vgm");
    // The number counts in the limit and a slash takes the space behind it.
    EXPECT_EQ(fessick::form_name("/x", ".vgz", 7, 3), "007'x.vgz");
    EXPECT_EQ(fessick::form_name("", ".vgm", 1, 2), "01.vgm");
}

TEST(Fessick, NumberWidth) {
    const std::vector<std::pair<size_t, unsigned>> cases = {
        {0, 2}, {1, 2}, {9, 2}, {99, 2}, {100, 3}, {999, 3}, {1000, 4}, {123456, 6}};
    for (auto [count, width] : cases) EXPECT_EQ(fessick::number_width(count), width) << count;
}

TEST(Fessick, PlaylistMode) {
    TempDir dir;
    dir.write("a.vgm", vgm_ascii("Stage 1: Forest"));
    dir.write("b.vgz", testvgm::gzip(vgm_ascii("Boss?")));
    dir.write("c.vgm", vgm_untagged());
    dir.write("d.vgm", text_bytes("not a vgm"));
    dir.write("list.m3u",
              text_bytes("#EXTM3U\r\n#EXTINF:120,Stage 1\r\na.vgm\r\n\r\n#EXTINF:60,Boss\r\nb.vgz\r\n"
                         "missing.vgm\r\n# not a comment\r\nc.vgm\r\nd.vgm\r\n"));
    const auto r = run_tool("fessick", {"list.m3u"}, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, head("list.m3u") +
                         "missing.vgm\tError opening the file!\n"
                         "# not a comment\tError opening the file!\n"
                         "d.vgm\tError opening the file!\n"
                         "\n"
                         "a.vgm -> 01 Stage 1 - Forest.vgm\n"
                         "b.vgz -> 02 Boss.vgz\n"
                         "c.vgm -> 03 c.vgm\n"
                         "Writing playlist ...\n"
                         "Done.\n");
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"01 Stage 1 - Forest.vgm", "02 Boss.vgz", "03 c.vgm", "d.vgm",
                                                    "list.m3u"}));
    EXPECT_EQ(as_text(dir.read("list.m3u")), "01 Stage 1 - Forest.vgm\n02 Boss.vgz\n03 c.vgm\n");
}

// Without "#EXTM3U" first, "#EXTINF:" lines name files like any other.
TEST(Fessick, PlaylistWithoutHeader) {
    TempDir dir;
    dir.write("a.vgm", vgm_ascii("A"));
    dir.write("list.M3U", text_bytes("#EXTINF:120,Song A\na.vgm\n"));
    const auto r = run_tool("fessick", {"list.M3U"}, dir.path());
    EXPECT_EQ(r.out, head("list.M3U") + "#EXTINF:120,Song A\tError opening the file!\n\na.vgm -> 01 A.vgm\n"
                                        "Writing playlist ...\nDone.\n");
    EXPECT_EQ(as_text(dir.read("list.M3U")), "01 A.vgm\n");
}

// The position in the list is numbered with at least two digits, more when
// the count needs them.
TEST(Fessick, PlaylistNumbering) {
    for (const auto& [count, name] : std::vector<std::pair<int, std::string>>{
             {9, "03 Stage 1 - Forest.vgm"}, {12, "03 Stage 1 - Forest.vgm"}, {100, "003 Stage 1 - Forest.vgm"}}) {
        TempDir dir;
        std::string list;
        for (int i = 1; i <= count; ++i) {
            char file[16];
            std::snprintf(file, sizeof file, "t%d.vgm", i);
            dir.write(file, i == 3 ? vgm_ascii("Stage 1: Forest") : vgm_untagged());
            list += std::string(file) + "\n";
        }
        dir.write("l.m3u", text_bytes(list));
        const auto r = run_tool("fessick", {"l.m3u"}, dir.path());
        EXPECT_NE(r.out.find("t3.vgm -> " + name + "\n"), std::string::npos) << count;
        EXPECT_TRUE(dir.exists(name)) << count;
        EXPECT_EQ(dir.list().size(), static_cast<size_t>(count + 1)) << count;
        const std::string written = as_text(dir.read("l.m3u"));
        EXPECT_EQ(written.substr(0, written.find('\n')), count == 100 ? "001 t1.vgm" : "01 t1.vgm");
    }
}

// Lines are relative to the playlist's directory, which is put in front of
// them; the rewritten playlist names the files without directories.
TEST(Fessick, PlaylistDirectories) {
    TempDir dir;
    std::filesystem::create_directories(dir.file("lists/sub"));
    dir.write("lists/sub/a.vgm", vgm_ascii("Alpha"));
    dir.write("lists/b.vgm", vgm_ascii("Beta"));
    dir.write("lists/set.m3u", text_bytes("sub/a.vgm\nb.vgm\n"));
    const auto r = run_tool("fessick", {"lists/set.m3u"}, dir.path());
    EXPECT_EQ(r.out, head("lists/set.m3u") + "\na.vgm -> 01 Alpha.vgm\nb.vgm -> 02 Beta.vgm\n"
                                             "Writing playlist ...\nDone.\n");
    EXPECT_TRUE(dir.exists("lists/sub/01 Alpha.vgm"));
    EXPECT_TRUE(dir.exists("lists/02 Beta.vgm"));
    EXPECT_FALSE(dir.exists("lists/sub/a.vgm"));
    EXPECT_EQ(as_text(dir.read("lists/set.m3u")), "01 Alpha.vgm\n02 Beta.vgm\n");
}

// A rename never replaces a file that is already there: the file keeps its
// name, the run goes on, and the playlist names the file as it is.
TEST(Fessick, RenameNeverReplaces) {
    {
        TempDir dir;
        const ByteVec mine = vgm_ascii("Other");
        dir.write("t.vgm", mine);
        dir.write("Other.vgm", text_bytes("someone else's file"));
        const auto r = run_tool("fessick", {"t.vgm"}, dir.path());
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.out, head("t.vgm") + "\nt.vgm -> Other.vgm\nOther.vgm already exists, t.vgm keeps its name!\n"
                                         "Done.\n");
        EXPECT_EQ(dir.read("t.vgm"), mine);
        EXPECT_EQ(as_text(dir.read("Other.vgm")), "someone else's file");
    }
    {
        TempDir dir;
        dir.write("a.vgm", vgm_ascii("Same"));
        dir.write("b.vgm", vgm_ascii("Next"));
        dir.write("02 Next.vgm", text_bytes("keep me"));
        dir.write("l.m3u", text_bytes("a.vgm\nb.vgm\n"));
        const auto r = run_tool("fessick", {"l.m3u"}, dir.path());
        EXPECT_EQ(r.out, head("l.m3u") + "\na.vgm -> 01 Same.vgm\nb.vgm -> 02 Next.vgm\n"
                                         "02 Next.vgm already exists, b.vgm keeps its name!\n"
                                         "Writing playlist ...\nDone.\n");
        EXPECT_EQ(dir.list(), (std::vector<std::string>{"01 Same.vgm", "02 Next.vgm", "b.vgm", "l.m3u"}));
        EXPECT_EQ(as_text(dir.read("02 Next.vgm")), "keep me");
        EXPECT_EQ(as_text(dir.read("l.m3u")), "01 Same.vgm\nb.vgm\n");
    }
    {
        // The same file listed twice: the second rename finds it gone.
        TempDir dir;
        dir.write("a.vgm", vgm_ascii("Twice"));
        dir.write("l.m3u", text_bytes("a.vgm\na.vgm\n"));
        const auto r = run_tool("fessick", {"l.m3u"}, dir.path());
        EXPECT_EQ(r.out, head("l.m3u") + "\na.vgm -> 01 Twice.vgm\na.vgm -> 02 Twice.vgm\nError renaming a.vgm!\n"
                                         "Writing playlist ...\nDone.\n");
        EXPECT_EQ(dir.list(), (std::vector<std::string>{"01 Twice.vgm", "l.m3u"}));
    }
}

// A playlist that cannot be read is left alone: not created, not emptied.
TEST(Fessick, UnreadablePlaylistIsNotRewritten) {
    TempDir dir;
    auto r = run_tool("fessick", {"none.m3u"}, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, head("none.m3u") + "\nDone.\n");
    EXPECT_TRUE(dir.list().empty());

    std::filesystem::create_directory(dir.file("d.m3u"));
    r = run_tool("fessick", {"d.m3u"}, dir.path());
    EXPECT_EQ(r.out, head("d.m3u") + "\nDone.\n");
    EXPECT_EQ(dir.list(), std::vector<std::string>{"d.m3u"});
}

// A playlist that cannot be written is reported, with a non-zero exit, and
// the old playlist stays whole. A file size limit of zero makes the write
// fail for any user, root included; the output goes through a pipe, which
// the limit does not touch.
TEST(Fessick, UnwritablePlaylist) {
    TempDir dir;
    dir.write("a.vgm", vgm_ascii("Alpha"));
    const std::string list = "#EXTM3U\na.vgm\n";
    dir.write("l.m3u", text_bytes(list));
    const std::string cmd = "cd '" + dir.path() + "' && ulimit -f 0 && trap '' XFSZ && exec '" +
                            testvgm::tool_path("fessick") + "' l.m3u </dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[256];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    const int status = pclose(p);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_NE(WEXITSTATUS(status), 0);
    EXPECT_EQ(out, head("l.m3u") + "\na.vgm -> 01 Alpha.vgm\nWriting playlist ...\nError writing l.m3u!\n");
    EXPECT_EQ(as_text(dir.read("l.m3u")), list);
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"01 Alpha.vgm", "l.m3u"}));
}

// The playlist keeps its permissions when it is rewritten.
TEST(Fessick, RewrittenPlaylistKeepsItsMode) {
    TempDir dir;
    dir.write("a.vgm", vgm_ascii("Alpha"));
    dir.write("l.m3u", text_bytes("a.vgm\n"));
    std::filesystem::permissions(dir.file("l.m3u"), std::filesystem::perms(0640));
    run_tool("fessick", {"l.m3u"}, dir.path());
    EXPECT_EQ(as_text(dir.read("l.m3u")), "01 Alpha.vgm\n");
    EXPECT_EQ(std::filesystem::status(dir.file("l.m3u")).permissions() & std::filesystem::perms::all,
              std::filesystem::perms(0640));
}
