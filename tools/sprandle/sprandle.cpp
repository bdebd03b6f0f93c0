#include "sprandle.h"

#include <string>
#include <vector>

#include "vgm/frontend.h"
#include "vgm/header.h"

namespace sprandle {

using vgm::Bytes;
using vgm::in_bounds;
using vgm::load_le16;
using vgm::load_le32;

namespace {

// Header fields shared by the unversioned, version 0 and version 1 layouts
// (after the 8-byte signature "DBRAWOPL"):
//   unversioned: 8 ms length, 12 byte length, 16 hardware (1 byte), data 17
//   version 0/1: 8 version (major 16 bits, minor 16 bits), 12 ms length,
//                16 byte length, 20 hardware (1 byte in version 0, 4 bytes
//                in version 1), data 21 / 24
//   version 2:   8 version, 12 pair count, 16 ms length, 20 hardware,
//                21 format, 22 compression, 23 short delay code,
//                24 long delay code, 25 code map size, 26 code map
constexpr size_t kSignatureSize = 8;
constexpr uint32_t kVersion1 = 0x00010000;
// Codes below this file position are always register writes in the old
// layouts: the first pairs of a capture set up registers, whatever the code.
constexpr size_t kAlwaysWriteBelow = 0x20;

// The old layouts number the hardware 0 = OPL2, 1 = OPL3, 2 = dual OPL2.
uint32_t renumber_hardware(uint32_t hw) {
    if (hw == 1) return 2;
    if (hw == 2) return 1;
    return hw;
}

uint64_t walk_end(const DroHeader& h, size_t file_size) {
    const uint64_t end = static_cast<uint64_t>(h.data_start) + 2 * h.pairs;
    return end < file_size ? end : file_size;
}

class Emitter {
public:
    Emitter(capture::VgmFileBuilder& vgm, uint32_t hardware) : vgm_(vgm), hardware_(hardware) {}

    void delay(uint32_t ms) {
        counted_ms += ms;
        target_ = ms_to_samples(counted_ms);
    }

    // The wait comes first, even for writes the hardware type drops.
    void write(unsigned bank, uint8_t reg, uint8_t value) {
        vgm_.wait_up_to(target_);
        switch (hardware_) {
            case kOneOpl2:
                if (bank == 0) vgm_.register_write(capture::kYm3812, reg, value);
                break;
            case kTwoOpl2:
                vgm_.register_write(bank == 0 ? capture::kYm3812 : capture::kYm3812Second, reg, value);
                break;
            case kOpl3:
                vgm_.register_write(bank == 0 ? capture::kYmf262Port0 : capture::kYmf262Port1, reg, value);
                break;
            default:
                break;
        }
    }

    uint32_t counted_ms = 0;

private:
    capture::VgmFileBuilder& vgm_;
    uint32_t hardware_;
    uint32_t target_ = 0;
};

// The walk of the unversioned, version 0 and version 1 layouts. A command
// whose bytes run past the end of the file ends the walk.
void walk_old(Bytes file, size_t pos, size_t end, Emitter& out) {
    const size_t size = file.size();
    unsigned bank = 0;
    while (pos < end) {
        const uint8_t c = file[pos];
        if (pos < kAlwaysWriteBelow || c >= 0x05) {
            if (!in_bounds(size, pos, 2)) break;
            out.write(bank, c, file[pos + 1]);
            pos += 2;
            continue;
        }
        switch (c) {
            case 0x00:
                if (!in_bounds(size, pos, 2)) return;
                out.delay(file[pos + 1] + 1u);
                pos += 2;
                break;
            case 0x01: {
                // 0x01 is both the long delay and register 0x01 (waveform
                // select enable). Guess from the bytes that follow: a write
                // is usually followed by the next register number.
                if (!in_bounds(size, pos, 2)) return;
                const uint8_t next = file[pos + 1];
                const uint8_t after = vgm::load_u8(file, pos + 2);  // 0 past the end
                bool is_write;
                if (after == 0xBD)
                    is_write = true;
                else if ((next & 0xDF) != 0)
                    is_write = false;
                else
                    is_write = after >= 0x20;
                if (is_write) {
                    out.write(bank, 0x01, next);
                    pos += 2;
                } else {
                    if (!in_bounds(size, pos, 3)) return;
                    out.delay(load_le16(file, pos + 1) + 1u);
                    pos += 3;
                }
                break;
            }
            case 0x02:
            case 0x03:
                bank = c - 0x02u;
                pos += 1;
                break;
            default:  // 0x04: escape for registers 0x00-0x04
                if (!in_bounds(size, pos, 3)) return;
                out.write(bank, file[pos + 1], file[pos + 2]);
                pos += 3;
                break;
        }
    }
}

// The version 2 walk: every entry is two bytes, a code and a value.
void walk_v2(Bytes file, const DroHeader& h, size_t end, Emitter& out) {
    const size_t size = file.size();
    for (size_t pos = h.data_start; pos < end && in_bounds(size, pos, 2); pos += 2) {
        const uint8_t c = file[pos];
        const uint8_t v = file[pos + 1];
        if (c == h.short_delay) {
            out.delay(v + 1u);
        } else if (c == h.long_delay) {
            out.delay((v + 1u) * 256u);
        } else {
            const size_t index = c & 0x7Fu;
            // A code outside the map names no register: the entry is skipped.
            if (index >= h.code_map.size()) continue;
            out.write(c >> 7, h.code_map[index], v);
        }
    }
}

}  // namespace

uint32_t ms_to_samples(uint32_t ms) {
    const float scaled = static_cast<float>(ms) * 44.1f;
    const float rounded = scaled + 0.5f;
    return capture::float_to_u32(rounded);
}

std::optional<DroHeader> parse_dro_header(Bytes file) {
    static constexpr uint8_t kSig[kSignatureSize] = {'D', 'B', 'R', 'A', 'W', 'O', 'P', 'L'};
    if (file.size() < kSignatureSize + 4) return std::nullopt;
    for (size_t i = 0; i < kSignatureSize; ++i)
        if (file[i] != kSig[i]) return std::nullopt;

    DroHeader h;
    const uint32_t version = load_le32(file, 8);
    const uint32_t major = load_le16(file, 8);
    const uint32_t minor = load_le16(file, 10);
    if (file[9] != 0 || file[11] != 0) {
        // No version field: bytes 8-11 are already the length in ms.
        h.layout = DroLayout::Unversioned;
        h.data_start = 17;
        if (file.size() < h.data_start) return std::nullopt;
        h.length_ms = version;
        h.pairs = load_le32(file, 12) / 2;
        h.hardware = renumber_hardware(file[16]);
    } else if (version == kVersion1 || major == 1) {
        h.layout = DroLayout::Version1;
        h.version_major = 1;
        h.version_minor = version == kVersion1 ? 0 : minor;
        h.data_start = 24;
        if (file.size() < h.data_start) return std::nullopt;
        h.length_ms = load_le32(file, 12);
        h.pairs = load_le32(file, 16) / 2;
        const uint32_t hardware32 = load_le32(file, 20);
        if (hardware32 > 2 && file[20] <= 2) {
            // Some version 1 captures still carry the one-byte hardware type
            // of version 0 and start their data at 21: read as four bytes,
            // the type takes in the first codes and names no hardware.
            h.data_start = 21;
            h.hardware = renumber_hardware(file[20]);
        } else {
            h.hardware = renumber_hardware(hardware32);
        }
    } else if (major == 0) {
        h.layout = DroLayout::Version0;
        h.version_minor = minor;
        h.data_start = 21;
        if (file.size() < h.data_start) return std::nullopt;
        h.length_ms = load_le32(file, 12);
        h.pairs = load_le32(file, 16) / 2;
        h.hardware = renumber_hardware(file[20]);
    } else if (major == 2) {
        h.layout = DroLayout::Version2;
        h.version_major = 2;
        h.version_minor = minor;
        if (file.size() < 26) return std::nullopt;
        h.pairs = load_le32(file, 12);
        h.length_ms = load_le32(file, 16);
        h.hardware = file[20];
        h.short_delay = file[23];
        h.long_delay = file[24];
        const size_t map_size = file[25];
        h.data_start = 26 + map_size;
        if (file.size() < h.data_start) return std::nullopt;
        h.code_map = file.subspan(26, map_size);
    } else {
        return std::nullopt;
    }
    h.data_end = static_cast<size_t>(walk_end(h, file.size()));
    return h;
}

DroConversion convert_dro(Bytes file, const DroHeader& h) {
    DroConversion conv{capture::VgmFileBuilder(file.size() * 2 + vgm::hdr::kSize), 0};
    vgm::VgmHeader& vh = conv.vgm.header();
    vh.set_u32(vgm::hdr::kTotalSamples, ms_to_samples(h.length_ms));
    vh.set_u32(vgm::hdr::kRate, 1000);
    switch (h.hardware) {
        case kOneOpl2:
            vh.set_u32(vgm::hdr::kYm3812Clock, capture::kYm3812Hz);
            break;
        case kTwoOpl2:  // two OPL2s, panned left and right
            vh.set_u32(vgm::hdr::kYm3812Clock, capture::kYm3812Hz | vgm::kVariantBit | vgm::kDualChipBit);
            break;
        case kOpl3:
            vh.set_u32(vgm::hdr::kYmf262Clock, capture::kYmf262Hz);
            break;
        default:
            vh.set_u32(vgm::hdr::kYm3812Clock, capture::kYm3812Hz | vgm::kDualChipBit);
            break;
    }

    Emitter out(conv.vgm, h.hardware);
    if (h.layout == DroLayout::Version2)
        walk_v2(file, h, h.data_end, out);
    else
        walk_old(file, h.data_start, h.data_end, out);
    conv.counted_ms = out.counted_ms;
    conv.vgm.finish(false);
    return conv;
}

}  // namespace sprandle

int sprandle_run(int argc, char** argv, vgm::Console& con) {
    using namespace sprandle;
    vgm::print_banner(con, "sprandle", true);
    const std::string name = vgm::obtain_file_name(con, argc, argv, 1);
    if (name.empty()) return 0;

    std::vector<uint8_t> file;
    if (!capture::read_capture(con, name, file)) return 1;
    const std::optional<DroHeader> header = parse_dro_header(file);
    if (!header) {
        con.line(vgm::kErrorOpeningFile);
        return 1;
    }
    con.line("");
    con.print("DRO File Version: %u.%02u\n", header->version_major, header->version_minor);

    const DroConversion conv = convert_dro(file, *header);
    if (conv.vgm.samples_written() != conv.vgm.header().u32(vgm::hdr::kTotalSamples)) {
        con.line("Warning! There was an error during delay calculations!");
        con.print("DRO ms Header: %u, counted: %u\n", header->length_ms, conv.counted_ms);
        con.line("Please relog the file with DosBox 0.73 or higher.");
    }
    return capture::write_vgm_file(con, capture::vgm_output_name(name, nullptr), conv.vgm.file());
}
