#include "vgm/wait_encoder.h"

#include <algorithm>

namespace vgm {

namespace {

// How many samples to fold into a DAC write ahead of a chunk of c samples:
// as many as it takes to leave a frame-wait remainder (735, 1470, 882, 1764
// or 1617 = 882 + 735) when one is within reach, otherwise as many as fit.
uint32_t merge_amount(uint32_t c) {
    uint32_t k = c;
    if (c >= 735 && c <= 766)
        k = c - 735;
    else if (c >= 1470 && c <= 1485)
        k = c - 1470;
    else if (c >= 882 && c <= 913)
        k = c - 882;
    else if (c >= 1764 && c <= 1779)
        k = c - 1764;
    else if (c >= 1617 && c <= 1632)
        k = c - 1617;
    return std::min<uint32_t>(k, 15);
}

// Appends the commands for one chunk (1 to 0xFFFF samples) and returns how
// many samples they wait; a frame wait may leave up to 16 samples over.
uint32_t emit_chunk(std::vector<uint8_t>& out, uint32_t c, WaitTable table) {
    const bool wide = table == WaitTable::WideDoubleFrames;
    if (c <= 16) {
        out.push_back(static_cast<uint8_t>(0x70 + (c - 1)));
        return c;
    }
    if (c <= 32) {
        out.push_back(0x7F);
        out.push_back(static_cast<uint8_t>(0x70 + (c - 17)));
        return c;
    }
    if (c >= 735 && c <= 751) {
        out.push_back(0x62);
        return 735;
    }
    if (c == 1470 || (wide && c > 1470 && c <= 1486)) {
        out.push_back(0x62);
        out.push_back(0x62);
        return 1470;
    }
    if (c >= 882 && c <= 898) {
        out.push_back(0x63);
        return 882;
    }
    if (c == 1764 || (wide && c > 1764 && c <= 1780)) {
        out.push_back(0x63);
        out.push_back(0x63);
        return 1764;
    }
    if (c == 1617) {
        out.push_back(0x63);
        out.push_back(0x62);
        return 1617;
    }
    out.push_back(0x61);
    out.push_back(static_cast<uint8_t>(c));
    out.push_back(static_cast<uint8_t>(c >> 8));
    return c;
}

}  // namespace

void encode_wait(std::vector<uint8_t>& out, uint32_t samples, bool* dac_merge, WaitTable table) {
    bool first = true;
    while (samples > 0) {
        const uint32_t c = std::min<uint32_t>(samples, 0xFFFF);
        if (first && dac_merge && *dac_merge) {
            first = false;
            *dac_merge = false;
            // Only a DAC write with a free low nibble can take samples.
            if (out.empty() || out.back() != 0x80) continue;
            const uint32_t m = merge_amount(c);
            out.back() = static_cast<uint8_t>(0x80 | m);
            samples -= m;
            continue;
        }
        first = false;
        samples -= emit_chunk(out, c, table);
    }
}

}  // namespace vgm
