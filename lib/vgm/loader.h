// Loading a VGM file whole: the header record with absolute offsets and the
// version fix-ups of the program's profile, plus the file bytes as stored.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "vgm/bytes.h"
#include "vgm/console.h"
#include "vgm/header.h"

namespace vgm {

// Which version-dependent header fields a program cleans at load time.
enum class FixupProfile {
    FullClearing,  // old files lose rate, SN76496 fields and the YM2612/YM2151 clocks
    FullCopying,   // as FullClearing, but the YM2413 clock is copied to YM2612/YM2151
    Short,         // only the data offset and the bytes 0x38-0x3F of old files
    ShortOld150,   // as Short, but a version 1.50 header ends at 0x40 too
};

struct VgmImage {
    VgmHeader header;            // fixed up; offsets absolute
    std::vector<uint8_t> bytes;  // the file as stored, header included
    uint32_t file_size = 0;      // bytes.size()
    std::string base_name;       // the name cut at its last '.'

    Bytes data() const { return bytes; }
    uint32_t data_start() const { return header.data_start(); }
};

// The name cut at its last '.', wherever it stands (a name without one stays whole).
std::string base_name_of(const std::string& name);

// Builds an image from the bytes of a decompressed file. `stored` holds what
// could be read; the header's EOF offset says how long the file should be.
// A file shorter than its EOF offset claims ends where its bytes end: the
// image holds only the bytes that exist, and file_size is their count. A file
// longer than its EOF offset is cut at the EOF position; the header record is
// taken from the first 228 bytes before the cut all the same. Returns nullopt when
// the signature is missing.
std::optional<VgmImage> image_from_bytes(std::vector<uint8_t> stored, FixupProfile profile);

// Applies a profile's version fix-ups and makes the offsets absolute.
void fix_up_header(VgmHeader& h, FixupProfile profile);

// Opens a plain or gzip-compressed file and loads it, printing the loader's
// messages; nullopt after "Error opening the file!" (the caller exits with 1).
// On success the empty line that ends loading has been printed.
std::optional<VgmImage> load_vgm(Console& con, const std::string& name, FixupProfile profile);

}  // namespace vgm
