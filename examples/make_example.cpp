// Writes examples/example.vgm: a short two-chip tune (SN76496 and YM2612)
// with a loop and a GD3 tag, used to try the programs on a real file.
//   build/examples/make_example examples/example.vgm
#include <cstdio>
#include <string>
#include <vector>

#include "vgm/bytes.h"
#include "vgm/commands.h"
#include "vgm/fileio.h"
#include "vgm/header.h"

using namespace vgm;

namespace {

void put(std::vector<uint8_t>& s, std::initializer_list<uint8_t> b) { s.insert(s.end(), b); }

void wait(std::vector<uint8_t>& s, unsigned n) {
    while (n) {
        const unsigned w = n > 0xFFFF ? 0xFFFF : n;
        put(s, {0x61, static_cast<uint8_t>(w), static_cast<uint8_t>(w >> 8)});
        n -= w;
    }
}

void u16string(std::vector<uint8_t>& out, const std::string& text) {
    for (char c : text) append_le16(out, static_cast<uint8_t>(c));
    append_le16(out, 0);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string path = argc > 1 ? argv[1] : "example.vgm";
    std::vector<uint8_t> s(0x100, 0);  // header, then the stream
    store_le32(s, hdr::kSignature, kVgmSignature);
    store_le32(s, hdr::kVersion, 0x161);
    store_le32(s, hdr::kSn76496Clock, 3579545);
    store_le32(s, hdr::kYm2612Clock, 7670453);
    store_le32(s, hdr::kRate, 60);
    store_le32(s, hdr::kDataOffset, 0x100 - hdr::kDataOffset);

    // YM2612 channel 1: algorithm 7, all operators at full level.
    put(s, {0x52, 0x22, 0x00, 0x52, 0x27, 0x00, 0x52, 0x28, 0x00, 0x52, 0xB0, 0x07, 0x52, 0xB4, 0xC0});
    for (uint8_t op : {0x30, 0x34, 0x38, 0x3C}) put(s, {0x52, op, 0x01});
    for (uint8_t op : {0x40, 0x44, 0x48, 0x4C}) put(s, {0x52, op, 0x10});
    for (uint8_t op : {0x50, 0x54, 0x58, 0x5C}) put(s, {0x52, op, 0x1F});
    for (uint8_t op : {0x80, 0x84, 0x88, 0x8C}) put(s, {0x52, op, 0x0F});
    // SN76496: all four channels silent.
    put(s, {0x50, 0x9F, 0x50, 0xBF, 0x50, 0xDF, 0x50, 0xFF});

    const uint32_t loop = static_cast<uint32_t>(s.size());
    uint32_t samples = 0;
    const uint16_t fm_notes[] = {0x269, 0x2B5, 0x30B, 0x33A, 0x39F, 0x33A, 0x30B, 0x2B5};
    const uint16_t psg_tones[] = {0x1AC, 0x17C, 0x153, 0x140, 0x11D, 0x140, 0x153, 0x17C};
    for (int bar = 0; bar < 2; ++bar) {
        for (int i = 0; i < 8; ++i) {
            const uint16_t f = fm_notes[i];
            put(s, {0x52, 0xA4, static_cast<uint8_t>(0x20 | (f >> 8)), 0x52, 0xA0, static_cast<uint8_t>(f)});
            put(s, {0x52, 0x28, 0xF0});
            const uint16_t t = psg_tones[(i + 4 * bar) % 8];
            put(s, {0x50, static_cast<uint8_t>(0x80 | (t & 0x0F)), 0x50, static_cast<uint8_t>(t >> 4), 0x50, 0x94});
            wait(s, 9000);
            put(s, {0x52, 0x28, 0x00, 0x50, 0x9F});
            put(s, {cmd::kWait735, cmd::kWait735});
            samples += 9000 + 2 * kFrame60;
        }
    }
    put(s, {cmd::kEnd});

    const uint32_t gd3 = static_cast<uint32_t>(s.size());
    std::vector<uint8_t> tag;
    for (const char* field : {"Example Tune", "", "Examples", "", "Generic Console", "", "The Project", "", "2026",
                              "make_example", ""})
        u16string(tag, field);
    put(s, {'G', 'd', '3', ' ', 0x00, 0x01, 0x00, 0x00});
    append_le32(s, static_cast<uint32_t>(tag.size()));
    s.insert(s.end(), tag.begin(), tag.end());

    store_le32(s, hdr::kEofOffset, static_cast<uint32_t>(s.size() - hdr::kEofOffset));
    store_le32(s, hdr::kGd3Offset, gd3 - hdr::kGd3Offset);
    store_le32(s, hdr::kTotalSamples, samples);
    store_le32(s, hdr::kLoopOffset, loop - hdr::kLoopOffset);
    store_le32(s, hdr::kLoopSamples, samples);  // the loop covers the whole tune
    if (!write_file_atomic(path, s)) {
        std::printf("Error writing %s!\n", path.c_str());
        return 1;
    }
    std::printf("%s written.\n", path.c_str());
    return 0;
}
