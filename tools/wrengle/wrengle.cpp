#include "wrengle.h"

#include <strings.h>

#include <string>
#include <vector>

#include "vgm/frontend.h"
#include "vgm/header.h"

namespace wrengle {

using vgm::Bytes;

namespace {

// File layout: 8 bytes signature (not checked), 16-bit clock divisor at 8,
// then (data, register) pairs from byte 10.
constexpr size_t kDivisorOffset = 8;
constexpr size_t kPairsStart = 10;

constexpr uint8_t kRegDelay = 0x00;    // data x divisor ticks
constexpr uint8_t kRegControl = 0x02;  // data: control code
constexpr uint8_t kCtlClock = 0x00;    // next 16 bits: new divisor
constexpr uint8_t kCtlChip0 = 0x01;
constexpr uint8_t kCtlChip1 = 0x02;

}  // namespace

uint32_t ticks_to_samples(uint64_t ticks) {
    // ticks x 44100 / 1193180, with the fraction 4410 / 119318 and half of
    // the divisor (59659) added to round.
    const uint64_t samples = (ticks * 4410u + 59659u) / 119318u;
    return samples > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(samples);
}

capture::VgmFileBuilder convert_raw(Bytes file, bool loop, vgm::Console& con) {
    capture::VgmFileBuilder vgm(file.size() * 2 + vgm::hdr::kSize);
    const size_t size = file.size();
    bool dual = false;
    if (size > kPairsStart) {
        uint16_t divisor = vgm::load_le16(file, kDivisorOffset);
        // 64 bits: a 32-bit total would wrap after an hour of music.
        uint64_t ticks = 0;
        unsigned chip = 0;
        size_t pos = kPairsStart;
        while (vgm::in_bounds(size, pos, 2)) {
            const uint8_t data = file[pos];
            const uint8_t reg = file[pos + 1];
            if (reg == kRegDelay) {
                ticks += static_cast<uint32_t>(data) * divisor;
            } else if (reg == kRegControl) {
                if (data == kCtlClock) {
                    if (!vgm::in_bounds(size, pos, 4)) break;
                    divisor = vgm::load_le16(file, pos + 2);
                    pos += 2;
                } else if (data == kCtlChip0) {
                    chip = 0;
                } else if (data == kCtlChip1) {
                    chip = 1;
                    dual = true;
                } else {
                    con.print("Unknown Control Type 0x%02X found!\n", data);
                }
            } else {
                vgm.wait_up_to(ticks_to_samples(ticks));
                vgm.register_write(chip == 0 ? capture::kYm3812 : capture::kYm3812Second, reg, data);
            }
            pos += 2;
        }
    }

    vgm::VgmHeader& h = vgm.header();
    h.set_u32(vgm::hdr::kTotalSamples, vgm.samples_written());
    h.set_u32(vgm::hdr::kRate, 0);
    h.set_u32(vgm::hdr::kYm3812Clock, capture::kYm3812Hz | (dual ? vgm::kDualChipBit : 0));
    vgm.finish(loop);
    return vgm;
}

}  // namespace wrengle

int wrengle_run(int argc, char** argv, vgm::Console& con) {
    using namespace wrengle;
    vgm::print_banner(con, "wrengle", true);

    bool loop = false;
    int arg = 1;
    for (; arg < argc && argv[arg][0] == '-'; ++arg) {
        if (strcasecmp(argv[arg], "-help") == 0) {
            con.line("Usage: wrengle [-Loop] Input.raw [Output.vgm]");
            con.line("");
            con.line("Loop: Makes the song loop from beginning to end.");
            return 0;
        }
        if (strcasecmp(argv[arg], "-Loop") != 0) break;  // not an option: the input name
        loop = true;
    }

    const std::string name = vgm::obtain_file_name(con, argc, argv, arg);
    if (name.empty()) return 0;
    std::vector<uint8_t> file;
    if (!capture::read_capture(con, name, file)) return 1;
    con.line("");

    const capture::VgmFileBuilder vgm = convert_raw(file, loop, con);
    const char* out_name = arg + 1 < argc ? argv[arg + 1] : nullptr;
    return capture::write_vgm_file(con, capture::vgm_output_name(name, out_name), vgm.file());
}
