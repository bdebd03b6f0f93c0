// bexolt end to end: the real program on playlists and WAVE files built byte
// by byte, the level arithmetic on its own, and the corpus recordings.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "bexolt.h"
#include "tool_runner.h"
#include "vgm/bytes.h"
#include "vgm_builder.h"
#include "wave.h"

using testvgm::ByteVec;
using testvgm::run_tool;
using testvgm::TempDir;

namespace {

ByteVec cat(std::initializer_list<ByteVec> parts) {
    ByteVec out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

ByteVec text(const std::string& s) { return ByteVec(s.begin(), s.end()); }

ByteVec le32(uint32_t v) {
    ByteVec b;
    vgm::append_le32(b, v);
    return b;
}

// A chunk: its id, the stored size (the body's own unless given) and body.
ByteVec chunk(const std::string& id, const ByteVec& body, int64_t stored_size = -1) {
    return cat({text(id), le32(stored_size < 0 ? static_cast<uint32_t>(body.size()) : static_cast<uint32_t>(stored_size)),
                body});
}

// The 16 bytes of a format chunk: tag, 2 channels, 44100 Hz, rates, bits.
ByteVec fmt_body(uint16_t tag, uint16_t bits) {
    ByteVec b;
    vgm::append_le16(b, tag);
    vgm::append_le16(b, 2);
    vgm::append_le32(b, 44100);
    vgm::append_le32(b, 44100 * 2 * bits / 8);
    vgm::append_le16(b, static_cast<uint16_t>(2 * bits / 8));
    vgm::append_le16(b, bits);
    return b;
}

ByteVec samples(std::initializer_list<int16_t> s) {
    ByteVec b;
    for (int16_t v : s) vgm::append_le16(b, static_cast<uint16_t>(v));
    return b;
}

ByteVec riff(std::initializer_list<ByteVec> chunks, const std::string& form = "WAVE") {
    const ByteVec body = cat(chunks);
    return cat({text("RIFF"), le32(static_cast<uint32_t>(body.size() + 4)), text(form), body});
}

ByteVec wave16(std::initializer_list<int16_t> s) {
    return riff({chunk("fmt ", fmt_body(1, 16)), chunk("data", samples(s))});
}

std::string head(const std::string& playlist, const std::string& volume_echo) {
    return testvgm::banner("bexolt") + "PlayList:\t" + playlist + "\nVolume Setting (default 1.0):\t" + volume_echo;
}

std::string tail(const std::string& overall) { return "\nAll tracks\t" + overall + "\n"; }

}  // namespace

// The factor and VolMod for a peak and a volume setting.
TEST(Bexolt, Levels) {
    struct Case {
        uint16_t peak;
        float volume;
        std::string line;
    };
    const std::vector<Case> cases = {
        {0x4000, 1.0f, "MaxLevel: 4000\tFactor: 2.000\tVolMod: 0x20\n"},
        {0x8000, 1.0f, "MaxLevel: 8000\tFactor: 1.000\tVolMod: 0x00\n"},
        {0x7FFF, 1.0f, "MaxLevel: 7FFF\tFactor: 1.000\tVolMod: 0x00\n"},
        {0x5A82, 1.0f, "MaxLevel: 5A82\tFactor: 1.414\tVolMod: 0x10\n"},
        {0x5A82, 0.5f, "MaxLevel: 5A82\tFactor: 0.707\tVolMod: 0xF0\n"},
        {0x0001, 1.0f, "MaxLevel: 0001\tFactor: 64.000\tVolMod: 0xC0\n"},  // held at 64
        {0x8000, 0.1f, "MaxLevel: 8000\tFactor: 0.250\tVolMod: 0xC1\n"},   // held at 0.25, -64 shown as 0xC1
        {0x8000, 0.26f, "MaxLevel: 8000\tFactor: 0.260\tVolMod: 0xC1\n"},  // -63 is 0xC1 itself
        {0x8000, -2.0f, "MaxLevel: 8000\tFactor: 0.250\tVolMod: 0xC1\n"},
        {0x4000, 0.5f, "MaxLevel: 4000\tFactor: 1.000\tVolMod: 0x00\n"},
        {0x1000, 1.0f, "MaxLevel: 1000\tFactor: 8.000\tVolMod: 0x60\n"},
        {0x8000, 0.99f, "MaxLevel: 8000\tFactor: 0.990\tVolMod: 0xFF\n"},
        {0x0000, 1.0f, "--\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(bexolt::report(c.peak, c.volume), c.line) << c.peak << " " << c.volume;
}

TEST(Bexolt, VolumeSetting) {
    const std::vector<std::pair<std::string, float>> cases = {
        {"", 1.0f},     {"0", 1.0f},       {"abc", 1.0f}, {"0.0", 1.0f},     {"nan", 1.0f},
        {"0.5", 0.5f},  {"  2.5x", 2.5f},  {"1e-60", 1.0f}, {"-1", -1.0f},   {"0x10", 16.0f},
        {"1.5\n", 1.5f},
    };
    for (const auto& [typed, value] : cases) EXPECT_EQ(bexolt::parse_volume(typed), value) << typed;
}

// One playlist of WAVE files, one per message of the parsing and per way of
// finding the data; the overall peak counts only the files that were read.
TEST(Bexolt, WaveFiles) {
    TempDir dir;
    struct Track {
        std::string name;  // written as <name>.wav, listed as <name>.vgm
        ByteVec bytes;
        std::string line;
    };
    ByteVec fmt18 = fmt_body(1, 16);
    fmt18.insert(fmt18.end(), {0, 0});  // an extension size field
    const ByteVec fmt_full = fmt_body(1, 16);
    const ByteVec fmt_cut(fmt_full.begin(), fmt_full.begin() + 14);  // ends before the bits field
    ByteVec rifx = wave16({1});
    rifx[3] = 'X';
    ByteVec odd_chunk = riff({chunk("fmt ", fmt_body(1, 16)), chunk("junk", {1, 2, 3}), chunk("data", samples({-5}))});
    const std::vector<Track> tracks = {
        {"peak", wave16({0, 0x1000, -0x4000, 3}), "MaxLevel: 4000\tFactor: 2.000\tVolMod: 0x20\n"},
        {"lowest", wave16({-32768}), "MaxLevel: 8000\tFactor: 1.000\tVolMod: 0x00\n"},
        {"fact", riff({chunk("fmt ", fmt_body(1, 16)), chunk("fact", le32(2)), chunk("data", samples({0x2000}))}),
         "MaxLevel: 2000\tFactor: 4.000\tVolMod: 0x40\n"},
        {"fmtext", riff({chunk("fmt ", fmt18), chunk("data", samples({0x100}))}),
         "MaxLevel: 0100\tFactor: 64.000\tVolMod: 0xC0\n"},
        // Chunk sizes are skipped as stored, without padding to even sizes.
        {"oddchunk", odd_chunk, "MaxLevel: 0005\tFactor: 64.000\tVolMod: 0xC0\n"},
        {"silent", wave16({0, 0, 0}), "--\n"},
        {"empty", wave16({}), "--\n"},
        {"list", riff({chunk("LIST", text("INFOxxxx")), chunk("fmt ", fmt_body(1, 16)), chunk("data", samples({1}))}),
         "Bad Wave file (bad format header)!\n"},
        {"8bit", riff({chunk("fmt ", fmt_body(1, 8)), chunk("data", {0x80, 0xFF})}), "Must be an 16-bit wave file!\n"},
        {"24bit", riff({chunk("fmt ", fmt_body(1, 24)), chunk("data", {0, 0, 0x80})}), "Must be an 16-bit wave file!\n"},
        {"float", riff({chunk("fmt ", fmt_body(3, 32)), chunk("data", le32(0))}), "Can't read compressed wave files!\n"},
        {"extensible", riff({chunk("fmt ", fmt_body(0xFFFE, 16)), chunk("data", samples({1}))}),
         "Can't read compressed wave files!\n"},
        {"nodata", riff({chunk("fmt ", fmt_body(1, 16)), chunk("LIST", text("INFO"))}), "Unable to find wave data!\n"},
        {"rifx", rifx,
         "No Wave file (RIFF signature missing)!\n"},
        {"avi", riff({chunk("fmt ", fmt_body(1, 16))}, "AVI "), "No Wave file (WAVE signature missing)!\n"},
        {"text", text("hello"), "No Wave file (RIFF signature missing)!\n"},
        {"zero", {}, "No Wave file (RIFF signature missing)!\n"},
        // Files that end inside their header.
        {"cut4", text("RIFF"), "No Wave file (WAVE signature missing)!\n"},
        {"cutfmt", cat({text("RIFF"), le32(100), text("WAVEfmt "), le32(16)}), "Bad Wave file (bad format header)!\n"},
        {"cutbits", cat({text("RIFF"), le32(100), text("WAVEfmt "), le32(16), fmt_cut}),
         "Bad Wave file (bad format header)!\n"},
        {"cutchunk", cat({riff({chunk("fmt ", fmt_body(1, 16))}), text("da")}), "Unable to find wave data!\n"},
    };
    std::string list, expected;
    for (const auto& t : tracks) {
        dir.write(t.name + ".wav", t.bytes);
        list += t.name + ".vgm\n";
        expected += t.name + ".wav\t" + t.line;
    }
    list += "missing.vgz\n";
    expected += "missing.wav\tError opening file!\n";
    dir.write("set.m3u", text(list));
    const auto before = dir.list();
    const auto r = run_tool("bexolt", {"set.m3u", "1.0"}, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, head("set.m3u", "1.0\n") + expected + tail("MaxLevel: 8000\tFactor: 1.000\tVolMod: 0x00\n"));
    EXPECT_EQ(dir.list(), before);  // nothing written
}

// Sizes that claim far more than the file holds: nothing is read past the
// end and nothing that size is allocated.
TEST(Bexolt, HugeSizes) {
    TempDir dir;
    const std::vector<std::pair<ByteVec, std::string>> cases = {
        {riff({chunk("fmt ", fmt_body(1, 16)), chunk("data", samples({0x2000, -0x3000}), 0xFFFFFFFF)}),
         "MaxLevel: 3000\tFactor: 2.667\tVolMod: 0x2D\n"},
        {riff({chunk("fmt ", fmt_body(1, 16), 0xFFFFFFF0), chunk("data", samples({1}))}), "Unable to find wave data!\n"},
        {riff({chunk("fmt ", fmt_body(1, 16)), chunk("LIST", {}, 0xFFFFFFFF), chunk("data", samples({1}))}),
         "Unable to find wave data!\n"},
        // The data ends inside a sample: only whole samples count.
        {cat({riff({chunk("fmt ", fmt_body(1, 16)), chunk("data", samples({0x0400}), 0x100)}), {0xFF}}),
         "MaxLevel: 0400\tFactor: 32.000\tVolMod: 0xA0\n"},
        // An odd size takes the sample that its last byte starts.
        {riff({chunk("fmt ", fmt_body(1, 16)), chunk("data", samples({0x0100, 0x0800}), 3)}),
         "MaxLevel: 0800\tFactor: 16.000\tVolMod: 0x80\n"},
        // A size smaller than the samples behind it limits the read.
        {riff({chunk("fmt ", fmt_body(1, 16)), chunk("data", samples({0x0100, 0x0800}), 2)}),
         "MaxLevel: 0100\tFactor: 64.000\tVolMod: 0xC0\n"},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        dir.write("h.wav", cases[i].first);
        dir.write("h.m3u", text("h.vgm\n"));
        const auto r = run_tool("bexolt", {"h.m3u", "1"}, dir.path());
        EXPECT_EQ(r.out.substr(0, r.out.find("\nAll tracks")), head("h.m3u", "1\n") + "h.wav\t" + cases[i].second)
            << i;
    }
}

// The volume setting typed at its prompt (not echoed) or given as the second
// argument; the playlist path typed with quotes.
TEST(Bexolt, Prompts) {
    TempDir dir;
    dir.write("a.wav", wave16({0x5A82}));
    dir.write("b.wav", wave16({0x2000}));
    dir.write("my list.m3u", text("a.vgm\r\n\r\n#EXTINF:1,x\r\nb.vgm\r\n"));
    const std::string a = "a.wav\tMaxLevel: 5A82\tFactor: 0.707\tVolMod: 0xF0\n";
    auto r = run_tool("bexolt", {}, dir.path(), "'my list.m3u'\n0.5\n");
    // What is typed is not echoed.
    EXPECT_EQ(r.out, testvgm::banner("bexolt") + "PlayList:\tVolume Setting (default 1.0):\t" + a +
                         "#EXTINF:1,x\tError opening file!\n"
                         "b.wav\tMaxLevel: 2000\tFactor: 2.000\tVolMod: 0x20\n" +
                         tail("MaxLevel: 5A82\tFactor: 0.707\tVolMod: 0xF0\n"));
    for (const std::string typed : {"\n", "0\n", "loud\n", ""}) {
        r = run_tool("bexolt", {"my list.m3u"}, dir.path(), typed);
        EXPECT_EQ(r.out.substr(0, r.out.find('\n', r.out.find("Setting"))),
                  head("my list.m3u", "") + "a.wav\tMaxLevel: 5A82\tFactor: 1.414\tVolMod: 0x10")
            << typed;
    }
    r = run_tool("bexolt", {"my list.m3u", "abc"}, dir.path());
    EXPECT_NE(r.out.find("Setting (default 1.0):\tabc\na.wav\tMaxLevel: 5A82\tFactor: 1.414"), std::string::npos);

    // An empty path ends the run right after its prompt.
    r = run_tool("bexolt", {}, dir.path(), "\n");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, testvgm::banner("bexolt") + "PlayList:\t");
}

// Only a backslash separates directories here: the prefix of the playlist
// path goes up to its last backslash, the shown name starts behind the
// line's last one, and the extension is the text after the line's last dot,
// wherever that dot is.
TEST(Bexolt, PathsAndNames) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("lists"));
    dir.write("music\\track01.wav", wave16({0x4000}));
    dir.write("t.wav", wave16({0x2000}));
    dir.write("lists/t.wav", wave16({0x1000}));  // not looked at: a slash is no separator
    dir.write("v1.wav", wave16({0x0800}));       // "v1.0\\song" loses everything after its dot
    dir.write("pl\\sub.d\\x.wav", wave16({0x0400}));
    dir.write("lists/set.m3u", text("music\\track01.vgz\nt.vgm\nv1.0\\song\nnodot\n"));
    dir.write("pl\\set.m3u", text("sub.d\\x.vgm\nsub.dir\n"));

    auto r = run_tool("bexolt", {"lists/set.m3u", "1"}, dir.path());
    EXPECT_EQ(r.out, head("lists/set.m3u", "1\n") + "track01.wav\tMaxLevel: 4000\tFactor: 2.000\tVolMod: 0x20\n"
                                                    "t.wav\tMaxLevel: 2000\tFactor: 4.000\tVolMod: 0x40\n"
                                                    "v1.wav\tMaxLevel: 0800\tFactor: 16.000\tVolMod: 0x80\n"
                                                    "nodot\tError opening file!\n" +
                         tail("MaxLevel: 4000\tFactor: 2.000\tVolMod: 0x20\n"));

    r = run_tool("bexolt", {"pl\\set.m3u", "1"}, dir.path());
    EXPECT_EQ(r.out, head("pl\\set.m3u", "1\n") + "x.wav\tMaxLevel: 0400\tFactor: 32.000\tVolMod: 0xA0\n"
                                                 "sub.wav\tError opening file!\n" +
                         tail("MaxLevel: 0400\tFactor: 32.000\tVolMod: 0xA0\n"));
}

TEST(Bexolt, UnreadablePlaylist) {
    TempDir dir;
    const auto r = run_tool("bexolt", {"none.m3u", "1"}, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, head("none.m3u", "1\n") + tail("--\n"));
    EXPECT_TRUE(dir.list().empty());
}

// The real recordings of the corpus, when it is there.
TEST(Bexolt, CorpusWaveFiles) {
    const std::string corpus = testvgm::corpus_dir();
    if (corpus.empty()) GTEST_SKIP() << "no corpus";
    const std::string wav = corpus + "/wav";
    if (!std::filesystem::is_directory(wav)) GTEST_SKIP() << "no corpus WAVE files";
    const std::vector<std::pair<std::string, std::string>> files = {
        {"jump", "MaxLevel: 7FFF\tFactor: 1.000\tVolMod: 0x00\n"},
        {"shoot", "MaxLevel: 49E3\tFactor: 1.732\tVolMod: 0x19\n"},  // LIST chunk behind the data
        {"take0", "MaxLevel: 7FFF\tFactor: 1.000\tVolMod: 0x00\n"},
        {"S1_jump", "Must be an 16-bit wave file!\n"},
        {"24bit-WaveFmtPCM", "Must be an 16-bit wave file!\n"},
        {"BWF-WaveFmtEx", "Can't read compressed wave files!\n"},
    };
    TempDir dir;
    std::string list, expected;
    for (const auto& [name, line] : files) {
        if (!std::filesystem::exists(wav + "/" + name + ".wav")) GTEST_SKIP() << name << ".wav missing";
        std::filesystem::create_symlink(wav + "/" + name + ".wav", dir.file(name + ".wav"));
        list += name + ".vgz\n";
        expected += name + ".wav\t" + line;
    }
    dir.write("corpus.m3u", text(list));
    const auto r = run_tool("bexolt", {"corpus.m3u"}, dir.path(), "\n");
    EXPECT_EQ(r.out, head("corpus.m3u", "") + expected + tail("MaxLevel: 7FFF\tFactor: 1.000\tVolMod: 0x00\n"));
}

// The reader on its own: where the data is found.
TEST(Bexolt, FindWaveData) {
    const ByteVec w = riff({chunk("fmt ", fmt_body(1, 16)), chunk("fact", le32(1)), chunk("data", samples({7, -7}))});
    const auto d = bexolt::find_wave_data(w);
    ASSERT_EQ(d.status, bexolt::WaveStatus::Ok);
    EXPECT_EQ(d.pos, 12u + 24u + 12u + 8u);
    EXPECT_EQ(d.size, 4u);
    EXPECT_EQ(bexolt::wave_peak(w, d.pos, d.size), 7);
    EXPECT_EQ(bexolt::wave_peak(w, w.size() + 10, 100), 0);
}
