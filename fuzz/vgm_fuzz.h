// Support for the fuzz targets: seed files, a silent console, and the checks
// every rewritten file must pass.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <utility>
#include <vector>

#include "vgm/bytes.h"
#include "vgm/console.h"
#include "vgm/loader.h"
#include "vgm/writer.h"

// A version 1.51 file whose stream starts right behind a header of
// `header_size` bytes. `fields` are 32-bit header fields to set (clocks);
// `loop` and `gd3` are offsets into `stream` (-1 for none), written as the
// header's relative offsets; the EOF offset is filled in.
inline std::vector<uint8_t> seed_vgm(std::initializer_list<std::pair<size_t, uint32_t>> fields,
                                     std::initializer_list<uint8_t> stream, int loop = -1, int gd3 = -1,
                                     uint32_t header_size = 0x80) {
    std::vector<uint8_t> v(header_size, 0);
    vgm::store_le32(v, 0x00, 0x206D6756);
    vgm::store_le32(v, 0x08, 0x151);
    vgm::store_le32(v, 0x34, header_size - 0x34);
    for (auto [off, value] : fields) vgm::store_le32(v, off, value);
    if (loop >= 0) vgm::store_le32(v, 0x1C, header_size + static_cast<uint32_t>(loop) - 0x1C);
    if (gd3 >= 0) vgm::store_le32(v, 0x14, header_size + static_cast<uint32_t>(gd3) - 0x14);
    v.insert(v.end(), stream);
    vgm::store_le32(v, 0x04, static_cast<uint32_t>(v.size() - 4));
    return v;
}

// A console whose output goes nowhere.
inline vgm::Console quiet_console() {
    static FILE* sink = std::fopen("/dev/null", "w");
    vgm::Console con;
    con.out = sink;
    return con;
}

// A finished rewrite of `in`: the EOF offset matches the size, the loop
// offset lies inside the file (it may point at its very end), and a GD3
// offset that was rebuilt leads to a tag.
inline void check_rewritten(vgm::Bytes out, vgm::Bytes in) {
    if (out.size() >= 8 && vgm::load_le32(out, 4) + 4 != out.size()) std::abort();
    const uint32_t loop = vgm::load_le32(out, 0x1C);
    if (out.size() >= 0x20 && loop != 0 && loop + 0x1Cu > out.size()) std::abort();
    const uint32_t gd3 = vgm::load_le32(out, 0x14);
    if (out.size() >= 0x18 && gd3 != 0 && gd3 != vgm::load_le32(in, 0x14) &&
        (gd3 + 0x14u + 12 > out.size() || vgm::load_le32(out, gd3 + 0x14) != 0x20336447))
        std::abort();
}

// Finishes a rewrite of `in` as the programs do and checks the result.
inline void finish_and_check(vgm::Console& con, vgm::OutputState& out, const vgm::VgmImage& in) {
    const uint32_t n = vgm::finish_output(con, out, in, vgm::kLoopWarning);
    if (n != out.bytes().size()) std::abort();
    check_rewritten(out.bytes(), in.bytes);
}
