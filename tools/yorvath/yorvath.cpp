#include "yorvath.h"

#include <strings.h>

#include <cstdlib>
#include <vector>

#include "vgm/frontend.h"
#include "vgm/header.h"

namespace yorvath {

using vgm::Bytes;

uint32_t default_rate(const std::string& name) {
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && strcasecmp(name.c_str() + dot + 1, "wlf") == 0) return 700;
    return 560;
}

uint32_t timer_period(uint32_t rate) {
    // The 8254 runs at 13125000 / 11 Hz; the periods players use for the
    // known rates are rounded their own way.
    switch (rate) {
        case 700:
        case 701:
            return 0x06A6;
        case 560:
            return 0x0850;
        case 280:
            return 0x10A1;
        default:
            return 13125000u / (rate * 11u);
    }
}

ImfLayout imf_layout(Bytes file, int forced_type) {
    const uint16_t first = vgm::load_le16(file, 0);
    ImfLayout l;
    l.type = forced_type >= 0 ? static_cast<unsigned>(forced_type) : (first != 0 ? 1u : 0u);
    if (l.type == 1) {
        l.start = 2;
        l.end = static_cast<size_t>(first) + 2;
    } else {
        l.start = 0;
        l.end = file.size();
    }
    if (l.end > file.size()) l.end = file.size();
    return l;
}

float delay_samples(uint16_t ticks, uint32_t period) {
    const uint32_t product = static_cast<uint32_t>(ticks) * period;
    float x = static_cast<float>(product);
    x = x * 11.0f;
    x = x / 13125.0f;
    x = x * 44100.0f;
    x = x / 1000.0f;
    return x;
}

capture::VgmFileBuilder convert_imf(Bytes file, const ImfLayout& layout, uint32_t rate, bool loop) {
    const uint32_t period = timer_period(rate);
    capture::VgmFileBuilder vgm(file.size() * 2 + vgm::hdr::kSize);
    // Register 0x01 := 0x20 enables the waveform select of the OPL2.
    vgm.register_write(capture::kYm3812, 0x01, 0x20);

    const size_t size = file.size();
    float acc = 0.0f;
    uint32_t total = 0;
    for (size_t pos = layout.start; pos < layout.end; pos += 4) {
        if (!vgm::in_bounds(size, pos, 2)) break;
        vgm.register_write(capture::kYm3812, file[pos], file[pos + 1]);
        if (!vgm::in_bounds(size, pos, 4)) break;
        acc = acc + delay_samples(vgm::load_le16(file, pos + 2), period);
        const uint32_t n = capture::float_to_u32(acc);
        if (n != 0) {
            vgm.append_samples(n);
            acc = acc - static_cast<float>(n);
            total += n;
        }
    }

    vgm::VgmHeader& h = vgm.header();
    h.set_u32(vgm::hdr::kTotalSamples, total);
    h.set_u32(vgm::hdr::kRate, rate);
    h.set_u32(vgm::hdr::kYm3812Clock, capture::kYm3812Hz);
    vgm.finish(loop);
    return vgm;
}

}  // namespace yorvath

namespace {

void print_help(vgm::Console& con) {
    con.line("Usage: yorvath [-Loop] [-Hz###] [-Type#] Input.imf [Output.vgm]");
    con.line("");
    con.line("Loop: Makes the song loop from beginning to end.");
    con.line("Hz:   There are 3 known speeds: 280, 560 and 700");
    con.line("      560 is default for .imf, 700 for .wlf files");
    con.line("Type: Can be 0 (no header) or 1 (header with 2-byte file size)");
}

// A number as strtoul reads it with base 0 (0x hexadecimal, 0 octal).
unsigned long option_number(const char* text) { return std::strtoul(text, nullptr, 0); }

}  // namespace

int yorvath_run(int argc, char** argv, vgm::Console& con) {
    using namespace yorvath;
    vgm::print_banner(con, "yorvath", true);

    bool loop = false;
    uint32_t rate_override = 0;
    int forced_type = -1;
    int arg = 1;
    for (; arg < argc && argv[arg][0] == '-'; ++arg) {
        const char* a = argv[arg];
        if (strcasecmp(a, "-help") == 0) {
            print_help(con);
            return 0;
        } else if (strcasecmp(a, "-Loop") == 0) {
            loop = true;
        } else if (strncasecmp(a, "-Hz", 3) == 0) {
            rate_override = static_cast<uint16_t>(option_number(a + 3));
        } else if (strncasecmp(a, "-Type", 5) == 0) {
            const auto type = static_cast<uint8_t>(option_number(a + 5));
            if ((type & ~1u) != 0) {
                con.line("Error: Type must be either 0 or 1!");
                return kExitBadType;
            }
            forced_type = type;
        } else {
            break;  // not an option: the input name
        }
    }

    const std::string name = vgm::obtain_file_name(con, argc, argv, arg);
    if (name.empty()) return 0;
    std::vector<uint8_t> file;
    if (!capture::read_capture(con, name, file)) return 1;
    con.line("");

    const ImfLayout layout = imf_layout(file, forced_type);
    const uint32_t rate = rate_override != 0 ? rate_override : default_rate(name);
    con.print("IMF Type: %u, IMF Playback Rate: %u Hz (8254 PIT period 0x%04X)\n", layout.type, rate,
              timer_period(rate));

    const capture::VgmFileBuilder vgm = convert_imf(file, layout, rate, loop);
    const char* out_name = arg + 1 < argc ? argv[arg + 1] : nullptr;
    return capture::write_vgm_file(con, capture::vgm_output_name(name, out_name), vgm.file());
}
