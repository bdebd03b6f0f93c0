#include <gtest/gtest.h>

#include <sys/stat.h>

#include <dirent.h>

#include "capture_vgm.h"
#include "sprandle.h"
#include "tool_runner.h"

using namespace testvgm;
using sprandle::convert_dro;
using sprandle::parse_dro_header;

namespace {

void put32(ByteVec& v, uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}
ByteVec cat(ByteVec a, const ByteVec& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
const ByteVec kSig = {'D', 'B', 'R', 'A', 'W', 'O', 'P', 'L'};

// Version 1 layout: version, ms, byte length, 32-bit hardware type; data at 24.
ByteVec dro_v1(uint32_t ms, uint32_t hw, const ByteVec& data, uint32_t version = 0x00010000,
               int64_t byte_len = -1) {
    ByteVec v = kSig;
    put32(v, version);
    put32(v, ms);
    put32(v, byte_len < 0 ? static_cast<uint32_t>(data.size()) : static_cast<uint32_t>(byte_len));
    put32(v, hw);
    return cat(v, data);
}
// Version 0 layout: as version 1 with a one-byte hardware type; data at 21.
ByteVec dro_v0(uint16_t minor, uint32_t ms, uint8_t hw, const ByteVec& data) {
    ByteVec v = kSig;
    put32(v, static_cast<uint32_t>(minor) << 16);
    put32(v, ms);
    put32(v, static_cast<uint32_t>(data.size()));
    v.push_back(hw);
    return cat(v, data);
}
// No version field: ms, byte length, one-byte hardware type; data at 17.
ByteVec dro_unversioned(uint32_t ms, uint8_t hw, const ByteVec& data) {
    ByteVec v = kSig;
    put32(v, ms);
    put32(v, static_cast<uint32_t>(data.size()));
    v.push_back(hw);
    return cat(v, data);
}
// Version 2: pairs, ms, hardware, format, compression, delay codes, code map.
ByteVec dro_v2(uint32_t ms, uint8_t hw, uint8_t short_code, uint8_t long_code, const ByteVec& map,
               const ByteVec& data, int64_t pairs = -1, uint16_t minor = 0) {
    ByteVec v = kSig;
    put32(v, 2u | (static_cast<uint32_t>(minor) << 16));
    put32(v, pairs < 0 ? static_cast<uint32_t>(data.size() / 2) : static_cast<uint32_t>(pairs));
    put32(v, ms);
    v.insert(v.end(), {hw, 0, 0, short_code, long_code, static_cast<uint8_t>(map.size())});
    return cat(cat(v, map), data);
}

struct Converted {
    CaptureVgm vgm;
    uint32_t counted_ms = 0;
    ByteVec file;
};

Converted convert(const ByteVec& dro) {
    const auto h = parse_dro_header(dro);
    EXPECT_TRUE(h.has_value());
    if (!h) return {};
    const auto conv = convert_dro(dro, *h);
    Converted c;
    c.file.assign(conv.vgm.file().begin(), conv.vgm.file().end());
    c.vgm = read_capture_vgm(c.file);
    EXPECT_EQ(c.vgm.error, "");
    EXPECT_EQ(c.vgm.samples, conv.vgm.samples_written());
    c.counted_ms = conv.counted_ms;
    return c;
}

ByteVec cut(ByteVec v, size_t n) {
    v.resize(n);
    return v;
}

std::string head(const std::string& name) { return banner("sprandle") + "File Name:\t" + name + "\n"; }

}  // namespace

TEST(Sprandle, MillisecondsToSamplesFromTheRunningTotal) {
    // Single precision: 44.1 is the float constant, and each delay rounds
    // from the total so far, so ten 1 ms delays reach 441, not 440.
    const std::vector<std::pair<uint32_t, uint32_t>> cases = {
        {0, 0}, {1, 44}, {10, 441}, {17, 750}, {512, 22579}, {1298, 57242}, {5594, 246695}, {100000, 4410000},
        // The product is rounded to single precision before 0.5 is added; a
        // fused multiply-add would give one sample more here.
        {98304, 4335206}, {190223, 8388834},
    };
    for (const auto& [ms, samples] : cases) EXPECT_EQ(sprandle::ms_to_samples(ms), samples) << ms;

    ByteVec data(8, 0x20);  // four writes below position 32
    for (int i = 0; i < 10; ++i) data.insert(data.end(), {0x00, 0x00});
    data.insert(data.end(), {0xB0, 0x01});
    const Converted c = convert(dro_v1(10, 0, data));
    EXPECT_EQ(c.vgm.script, "5A:20=20 5A:20=20 5A:20=20 5A:20=20 w441 5A:B0=01");
    EXPECT_EQ(c.counted_ms, 10u);
}

TEST(Sprandle, OldLayoutWalk) {
    const ByteVec data = {
        0x02, 0x00, 0x00, 0x00, 0x01, 0x20, 0x04, 0x06,  // positions 24-31: always writes
        0x01, 0x20, 0xB0, 0x11,                          // 0x01 then >= 0x20: register 0x01
        0x01, 0x10, 0x00,                                // 0x01 with 0x10: 17 ms
        0x20, 0x01,                                      //
        0x01, 0x00, 0xBD, 0x20,                          // 0xBD two on: register 0x01
        0x01, 0x00, 0x05,                                // 0x01 then below 0x20: 0x0500 + 1 ms
        0x20, 0x02,                                      //
        0x00, 0x09,                                      // 10 ms
        0x03, 0x40, 0x3F,                                // second bank
        0x02, 0x41, 0x3F,                                // first bank
        0x04, 0x01, 0x20,                                // escape: register 0x01
        0x00, 0xFF,                                      // 256 ms at the end: counted, not written
    };
    // The writes before the bank switch, with the first bank's command as "P".
    const std::string first = "P:02=00 P:00=00 P:01=20 P:04=06 P:01=20 P:B0=11 w750 P:20=01 P:01=00 "
                              "P:BD=20 w56492 P:20=02 w441 ";
    struct Case {
        uint32_t hw;
        std::string bank0, script_tail;
        uint32_t ym3812, ymf262;
    };
    const std::vector<Case> cases = {
        {0, "5A", "5A:41=3F 5A:01=20", 0x00369E99, 0},           // OPL2: second bank dropped, wait kept
        {2, "5A", "AA:40=3F 5A:41=3F 5A:01=20", 0xC0369E99, 0},  // 2 = two OPL2s
        {1, "5E", "5F:40=3F 5E:41=3F 5E:01=20", 0, 0x00DA7A64},  // 1 = OPL3
    };
    for (const auto& c : cases) {
        const Converted r = convert(dro_v1(1564, c.hw, data));
        std::string expected = first + c.script_tail;
        for (size_t at; (at = expected.find("P:")) != std::string::npos;) expected.replace(at, 1, c.bank0);
        EXPECT_EQ(r.vgm.script, expected) << c.hw;
        EXPECT_EQ(r.counted_ms, 1564u);
        EXPECT_EQ(le32_at(r.file, 0x50), c.ym3812) << c.hw;
        EXPECT_EQ(le32_at(r.file, 0x5C), c.ymf262) << c.hw;
        EXPECT_EQ(le32_at(r.file, 0x18), 68972u);  // from the header's 1564 ms
        EXPECT_EQ(le32_at(r.file, 0x24), 1000u);
        EXPECT_EQ(le32_at(r.file, 0x1C), 0u);
    }
}

TEST(Sprandle, UnknownHardwareKeepsOnlyTheWaits) {
    const Converted r = convert(dro_v1(20, 7, {0x20, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x13, 0x20, 0x02}));
    EXPECT_EQ(r.vgm.script, "w882");
    EXPECT_EQ(le32_at(r.file, 0x50), 0x40369E99u);
    EXPECT_EQ(le32_at(r.file, 0x18), 882u);

    // A four-byte type whose first byte is no known type either stays the
    // four-byte layout: the data starts at 24 and every write is dropped.
    const Converted u =
        convert(dro_v1(20, 0x08200103, {0x20, 0x01, 0x20, 0x01, 0x20, 0x01, 0x20, 0x01, 0x00, 0x13, 0x20, 0x02}));
    EXPECT_EQ(u.vgm.script, "w882");
    EXPECT_EQ(u.counted_ms, 20u);
    EXPECT_EQ(le32_at(u.file, 0x50), 0x40369E99u);
}

// Writes up to file position 32 (always writes in the old layouts), then a
// 10 ms delay and one write.
static ByteVec old_body(size_t data_start) {
    ByteVec d;
    for (size_t pos = data_start; pos < 32; pos += 2) d.insert(d.end(), {0x20, 0x21});
    d.insert(d.end(), {0x00, 0x09, 0x40, 0x3F});
    return d;
}
static std::string old_script(const std::string& cmd, size_t data_start) {
    std::string s;
    for (size_t pos = data_start; pos < 32; pos += 2) s += cmd + ":20=21 ";
    return s + "w441 " + cmd + ":40=3F";
}

TEST(Sprandle, LayoutsVersionLinesAndHardware) {
    struct Case {
        const char* what;
        ByteVec dro;
        std::string version;
        std::string script;
        uint32_t ym3812, ymf262;
    };
    const ByteVec v2_data = {0x3C, 0x09, 0x01, 0x3F, 0x81, 0x11, 0x3D, 0x01, 0x82, 0x20, 0x05, 0x77};
    const std::vector<Case> cases = {
        {"unversioned, 1 = OPL3", dro_unversioned(10 + 0x100, 1, old_body(17)), "0.00", old_script("5E", 17), 0,
         0x00DA7A64},
        {"version 0.5, 2 = dual", dro_v0(5, 10, 2, old_body(21)), "0.05", old_script("5A", 21), 0xC0369E99, 0},
        {"version 1", dro_v1(10, 0, old_body(24)), "1.00", old_script("5A", 24), 0x00369E99, 0},
        {"version 1.3", dro_v1(10, 1, old_body(24), 0x00030001), "1.03", old_script("5E", 24), 0, 0x00DA7A64},
        // Version 1 with the one-byte hardware type of version 0: read as four
        // bytes the type would be 0x20212001 (or ...00, ...02) and name no
        // chip, so the type is byte 20 and the data starts at 21.
        {"version 1, one-byte 0 = OPL2", dro_v0(1, 10, 0, old_body(21)), "1.00", old_script("5A", 21), 0x00369E99,
         0},
        {"version 1, one-byte 1 = OPL3", dro_v0(1, 10, 1, old_body(21)), "1.00", old_script("5E", 21), 0,
         0x00DA7A64},
        {"version 1, one-byte 2 = dual", dro_v0(1, 10, 2, old_body(21)), "1.00", old_script("5A", 21), 0xC0369E99,
         0},
        // Version 2 keeps its hardware numbers: 1 = dual. Short delay 0x3C 0x09
        // = 10 ms, long delay 0x3D 0x01 = 512 ms, code 0x05 lies outside the
        // three-entry map and is skipped.
        {"version 2, 1 = dual", dro_v2(522, 1, 0x3C, 0x3D, {0x20, 0x40, 0xBD}, v2_data), "2.00",
         "w441 5A:40=3F AA:40=11 w22579 AA:BD=20", 0xC0369E99, 0},
        {"version 2.1, 2 = OPL3", dro_v2(10, 2, 0x00, 0x01, {0xB0}, {0x00, 0x09, 0x80, 0x12}, -1, 1), "2.01",
         "w441 5F:B0=12", 0, 0x00DA7A64},
    };
    for (const auto& c : cases) {
        TempDir dir;
        dir.write("song.dro", c.dro);
        const RunResult r = run_tool("sprandle", {"song.dro"}, dir.path());
        EXPECT_EQ(r.exit_code, 0) << c.what;
        std::string expected = head("song.dro") + "\nDRO File Version: " + c.version + "\n";
        if (c.version == "0.00") {
            // The unversioned header states 266 ms; the capture counts 10.
            expected += "Warning! There was an error during delay calculations!\n"
                        "DRO ms Header: 266, counted: 10\n"
                        "Please relog the file with DosBox 0.73 or higher.\n";
        }
        EXPECT_EQ(r.out, expected + "File written.\n") << c.what;
        const ByteVec out = dir.read("song.vgm");
        const CaptureVgm v = read_capture_vgm(out);
        EXPECT_EQ(v.error, "") << c.what;
        EXPECT_EQ(v.script, c.script) << c.what;
        EXPECT_EQ(le32_at(out, 0x50), c.ym3812) << c.what;
        EXPECT_EQ(le32_at(out, 0x5C), c.ymf262) << c.what;
    }
}

TEST(Sprandle, TrailingDelayWarnsAndKeepsTheHeaderTotal) {
    TempDir dir;
    // Version 2, OPL2: 10 ms, a write, then 512 ms that no write follows.
    dir.write("end.dro", dro_v2(600, 0, 0x10, 0x11, {0x20}, {0x10, 0x09, 0x00, 0x41, 0x11, 0x01}));
    const RunResult r = run_tool("sprandle", {"end.dro"}, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, head("end.dro") +
                         "\nDRO File Version: 2.00\n"
                         "Warning! There was an error during delay calculations!\n"
                         "DRO ms Header: 600, counted: 522\n"
                         "Please relog the file with DosBox 0.73 or higher.\n"
                         "File written.\n");
    ByteVec expected(0x80, 0);
    auto set32 = [&](size_t off, uint32_t v) {
        for (int i = 0; i < 4; ++i) expected[off + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    set32(0x00, 0x206D6756);
    set32(0x04, 0x80 + 7 - 4);
    set32(0x08, 0x151);
    set32(0x18, 26460);  // 600 ms
    set32(0x24, 1000);
    set32(0x34, 0x4C);
    set32(0x50, 3579545);
    expected.insert(expected.end(), {0x61, 0xB9, 0x01, 0x5A, 0x20, 0x41, 0x66});
    EXPECT_EQ(dir.read("end.vgm"), expected);
}

TEST(Sprandle, RefusedFiles) {
    ByteVec bad_sig = dro_v1(10, 0, old_body(24));
    bad_sig[7] = 'X';
    ByteVec v2_cut_map = dro_v2(10, 0, 0, 1, ByteVec(10, 0x20), {});
    v2_cut_map.resize(30);
    const std::vector<std::pair<const char*, ByteVec>> cases = {
        {"signature", bad_sig},
        {"major 3", dro_v2(10, 0, 0, 1, {}, {0x00, 0x01}) /* patched below */},
        {"only the signature", kSig},
        {"version 1 header cut", cut(dro_v1(10, 0, {}), 23)},
        {"version 0 header cut", cut(dro_v0(1, 10, 0, {}), 20)},
        {"unversioned header cut", cut(dro_unversioned(300, 0, {}), 16)},
        {"version 2 code map cut", v2_cut_map},
        {"empty", {}},
    };
    for (auto [what, bytes] : cases) {
        if (std::string(what) == "major 3") bytes[8] = 3;
        TempDir dir;
        dir.write("x.dro", bytes);
        const RunResult r = run_tool("sprandle", {"x.dro"}, dir.path());
        EXPECT_EQ(r.exit_code, 1) << what;
        EXPECT_EQ(r.out, head("x.dro") + "Error opening the file!\n") << what;
        EXPECT_FALSE(dir.exists("x.vgm")) << what;
    }
    TempDir dir;
    RunResult r = run_tool("sprandle", {"missing.dro"}, dir.path());
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, head("missing.dro") + "Error opening the file!\n");
    ASSERT_EQ(::mkdir(dir.file("folder.dro").c_str(), 0755), 0);
    r = run_tool("sprandle", {"folder.dro"}, dir.path());
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, head("folder.dro") + "Error opening the file!\n");
}

TEST(Sprandle, NameFromThePrompt) {
    TempDir dir;
    dir.write("my song.dro", dro_v1(0, 0, {}));
    RunResult r = run_tool("sprandle", {}, dir.path(), "'my song.dro'\n");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, banner("sprandle") + "File Name:\t\nDRO File Version: 1.00\nFile written.\n");
    // No write at all: header and end command only.
    EXPECT_EQ(dir.read("my song.vgm").size(), 129u);

    r = run_tool("sprandle", {}, dir.path(), "\n");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, banner("sprandle") + "File Name:\t");

    // There is no output-name argument: anything after the input is ignored.
    dir.write("b.dro", dro_v1(0, 0, {}));
    r = run_tool("sprandle", {"b.dro", "other.vgm", "-x"}, dir.path());
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out, head("b.dro") + "\nDRO File Version: 1.00\nFile written.\n");
    EXPECT_TRUE(dir.exists("b.vgm"));
    EXPECT_FALSE(dir.exists("other.vgm"));
}

TEST(Sprandle, UnwritableOutputIsReported) {
    TempDir dir;
    dir.write("s.dro", dro_v1(10, 0, old_body(24)));
    ASSERT_EQ(::mkdir(dir.file("s.vgm").c_str(), 0755), 0);  // a directory stands in the way
    const RunResult r = run_tool("sprandle", {"s.dro"}, dir.path());
    EXPECT_NE(r.exit_code, 0);
    EXPECT_EQ(r.out, head("s.dro") + "\nDRO File Version: 1.00\nError writing s.vgm!\n");
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"s.dro", "s.vgm"}));
}

// Files that stop in the middle of a command, or whose header announces more
// or less data than there is: the walk never reads past the file.
TEST(Sprandle, WalkBounds) {
    struct Case {
        const char* what;
        ByteVec dro;
        std::string script;
        uint32_t counted_ms;
    };
    const ByteVec pad = {0x20, 0x21, 0x20, 0x21, 0x20, 0x21, 0x20, 0x21};  // positions 24-31
    const std::string pad_s = "5A:20=21 5A:20=21 5A:20=21 5A:20=21";
    const std::vector<Case> cases = {
        {"long delay cut", dro_v1(0, 0, cat(pad, {0x00, 0x09, 0x40, 0x01, 0x01, 0x11})), pad_s + " w441 5A:40=01", 10},
        {"0x01 as the last byte pair", dro_v1(0, 0, cat(pad, {0x00, 0x09, 0x01, 0x00})), pad_s, 10},
        {"escape cut", dro_v1(0, 0, cat(pad, {0x00, 0x09, 0x04, 0x05})), pad_s, 10},
        {"write cut", dro_v1(0, 0, cat(pad, {0x00, 0x09, 0x40})), pad_s, 10},
        {"short delay cut", dro_v1(0, 0, cat(pad, {0x00})), pad_s, 0},
        {"byte length past the file", dro_v1(0, 0, cat(pad, {0x00, 0x09, 0x40, 0x01}), 0x00010000, 1000),
         pad_s + " w441 5A:40=01", 10},
        {"byte length stops the walk", dro_v1(0, 0, cat(pad, {0x00, 0x09, 0x40, 0x01}), 0x00010000, 10),
         pad_s, 10},
        {"v2 odd last byte", dro_v2(0, 0, 0x10, 0x11, {0x20}, {0x10, 0x09, 0x00, 0x01, 0x00}, 3), "w441 5A:20=01",
         10},
        {"v2 pair count stops the walk", dro_v2(0, 0, 0x10, 0x11, {0x20}, {0x10, 0x09, 0x00, 0x01}, 1), "", 10},
        {"v2 pair count past 32 bits", dro_v2(0, 0, 0x10, 0x11, {0x20}, {0x10, 0x09, 0x00, 0x01}, 0xFFFFFFFF),
         "w441 5A:20=01", 10},
        {"v2 codes outside the map", dro_v2(0, 0, 0x10, 0x11, {}, {0x10, 0x09, 0x00, 0x01, 0xFF, 0x01}), "", 10},
    };
    for (const auto& c : cases) {
        const Converted r = convert(c.dro);
        EXPECT_EQ(r.vgm.script, c.script) << c.what;
        EXPECT_EQ(r.counted_ms, c.counted_ms) << c.what;
    }
}

// The real captures: each converts, and where the capture's walk agrees with
// its header, the samples written are the header's length in ms.
TEST(Sprandle, Corpus) {
    const std::string corpus = corpus_dir();
    if (corpus.empty()) GTEST_SKIP() << "no corpus";
    const std::vector<std::string> files = {"doofus.dro", "dro_v2.dro", "samurai.dro", "take0.dro", "take1.dro"};
    for (const auto& name : files) {
        ByteVec bytes;
        FILE* f = std::fopen((corpus + "/dro/" + name).c_str(), "rb");
        if (!f) continue;
        for (int ch; (ch = std::fgetc(f)) != EOF;) bytes.push_back(static_cast<uint8_t>(ch));
        std::fclose(f);

        // The output lands beside the input, so the program runs on a copy.
        TempDir dir;
        dir.write(name, bytes);
        const RunResult r = run_tool("sprandle", {name}, dir.path());
        ASSERT_EQ(r.exit_code, 0) << name;
        const std::string base = name.substr(0, name.rfind('.'));
        const ByteVec vgm = dir.read(base + ".vgm");
        const CaptureVgm v = read_capture_vgm(vgm);
        EXPECT_EQ(v.error, "") << name;

        const auto h = parse_dro_header(bytes);
        ASSERT_TRUE(h.has_value()) << name;
        const auto conv = convert_dro(bytes, *h);
        EXPECT_EQ(vgm, ByteVec(conv.vgm.file().begin(), conv.vgm.file().end())) << name;
        EXPECT_EQ(v.samples, conv.vgm.samples_written()) << name;
        EXPECT_EQ(le32_at(vgm, 0x18), sprandle::ms_to_samples(h->length_ms)) << name;
        if (name == "samurai.dro") {
            // A version 1 header with the one-byte hardware type (OPL3).
            EXPECT_EQ(le32_at(vgm, 0x5C), 0x00DA7A64u);
            EXPECT_EQ(le32_at(vgm, 0x50), 0u);
            EXPECT_GT(v.writes.size(), 1000u);
        }
        {
            EXPECT_EQ(conv.counted_ms, h->length_ms) << name;
            EXPECT_EQ(v.samples, sprandle::ms_to_samples(h->length_ms)) << name;
            EXPECT_EQ(r.out.find("Warning!"), std::string::npos) << name;
            EXPECT_GT(v.writes.size(), 1000u) << name;
        }
    }
}
