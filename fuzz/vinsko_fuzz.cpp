// The data block compressor over arbitrary files: the rewritten file is well
// formed, and decoding it as a player would (every table-coded block with the
// last table before it) gives back the commands and the block bytes of the
// input.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "../tests/support/block_decoder.h"
#include "vgm/bytes.h"
#include "vgm_fuzz.h"
#include "vinsko.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto img = vgm::image_from_bytes(std::vector<uint8_t>(data, data + size), vgm::FixupProfile::Short);
    if (!img) return 0;
    vgm::Console con = quiet_console();
    const std::vector<uint8_t> out = vinsko::compress_image(con, *img);
    check_rewritten(out, img->bytes);
    const size_t start = std::min<size_t>(img->data_start(), img->file_size);
    const auto a = testvgm::expand_stream(img->bytes, start, false);
    const auto b = testvgm::expand_stream(out, start, false);
    if (!testvgm::compare_expanded(a, b).empty()) std::abort();
    // The blocks this program compressed decode under the strict rules too.
    const auto strict = testvgm::expand_stream(out, start, true);
    for (size_t i = 0; i < strict.items.size() && i < a.items.size(); ++i) {
        const bool was_stream = a.items[i].raw.size() > 2 && a.items[i].raw[0] == vgm::cmd::kDataBlock &&
                                a.items[i].raw[2] <= vgm::block::kLastStream;
        if (was_stream && !strict.items[i].error.empty()) std::abort();
    }
    return 0;
}

std::vector<std::vector<uint8_t>> fuzz_seeds() {
    auto blk = [](uint8_t type, std::vector<uint8_t> payload) {
        std::vector<uint8_t> b = {0x67, 0x66, type};
        vgm::append_le32(b, static_cast<uint32_t>(payload.size()));
        b.insert(b.end(), payload.begin(), payload.end());
        return b;
    };
    std::vector<uint8_t> s;
    auto add = [&s](const std::vector<uint8_t>& b) { s.insert(s.end(), b.begin(), b.end()); };
    add(blk(0x00, {1, 5, 9, 1, 5, 9, 1, 5, 9, 1, 5, 9}));         // table
    add(blk(0x01, {2, 6, 10, 2, 6, 10, 2, 6, 10, 2, 6, 10}));     // table of another type
    add(blk(0x00, {9, 5, 1, 9, 5, 1, 9, 5, 1, 9, 5, 1}));         // joins the first group
    add(blk(0x02, {0x00, 0x40, 0x80, 0xC0, 0x00, 0x40, 0x80}));   // shift left
    add(blk(0x03, {0x00, 0x01, 0x2B, 0x01, 0xFF, 0x0F, 0x10, 0x00}));  // 12-bit words
    add(blk(0x7F, {0, 2, 8, 2, 3, 0, 3, 7, 11}));                 // a table of the input
    add(blk(0x45, {0, 6, 0, 0, 0, 8, 2, 2, 0, 0, 0x18, 0x60}));   // coded through it
    add(blk(0x04, {0x7C, 0x7D, 0x7E, 0x7F, 0x80, 0x81, 0x82, 0x83}));
    add(blk(0x45, {0, 6, 0, 0, 0, 8, 2, 2, 0, 0, 0x18, 0x60}));
    s.insert(s.end(), {0x96, 0x45, 0x00, 0x62, 0x66});
    std::vector<uint8_t> seed(0x80, 0);
    vgm::store_le32(seed, 0x00, 0x206D6756);
    vgm::store_le32(seed, 0x08, 0x151);
    vgm::store_le32(seed, 0x34, 0x80 - 0x34);
    vgm::store_le32(seed, 0x1C, 0x80 + 7 + 12 - 0x1C);  // loop on the second block
    seed.insert(seed.end(), s.begin(), s.end());
    vgm::store_le32(seed, 0x04, static_cast<uint32_t>(seed.size() - 4));
    return {seed};
}
