#include "wave.h"

#include <algorithm>

namespace bexolt {

namespace {

constexpr uint32_t fourcc(const char (&s)[5]) {
    return static_cast<uint32_t>(static_cast<uint8_t>(s[0])) | (static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 8) |
           (static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(s[3])) << 24);
}

constexpr uint32_t kRiff = fourcc("RIFF");
constexpr uint32_t kWave = fourcc("WAVE");
constexpr uint32_t kFmt = fourcc("fmt ");
constexpr uint32_t kData = fourcc("data");
constexpr uint16_t kFormatPcm = 1;

}  // namespace

WaveData find_wave_data(vgm::Bytes file) {
    WaveData w;
    auto fail = [&w](WaveStatus status) {
        w.status = status;
        return w;
    };
    vgm::ByteReader r(file);
    uint32_t id = 0, size = 0;
    uint16_t tag = 0, bits = 0;
    if (!r.u32le(id) || id != kRiff) return fail(WaveStatus::NoRiff);
    if (!r.skip(4) || !r.u32le(id) || id != kWave) return fail(WaveStatus::NoWave);
    if (!r.u32le(id) || id != kFmt || !r.u32le(size)) return fail(WaveStatus::BadFormat);
    const uint64_t fmt_data = r.pos();
    if (!r.u16le(tag)) return fail(WaveStatus::BadFormat);
    if (tag != kFormatPcm) return fail(WaveStatus::Compressed);
    if (!r.skip(12) || !r.u16le(bits)) return fail(WaveStatus::BadFormat);
    if (bits != 16) return fail(WaveStatus::Not16Bit);

    // Every chunk takes at least its 8-byte head, so the walk ends.
    uint64_t pos = fmt_data + size;
    while (vgm::in_bounds(file.size(), pos, 8)) {
        id = vgm::load_le32(file, static_cast<size_t>(pos));
        size = vgm::load_le32(file, static_cast<size_t>(pos + 4));
        pos += 8;
        if (id == kData) {
            w.status = WaveStatus::Ok;
            w.pos = pos;
            w.size = size;
            return w;
        }
        pos += size;
    }
    w.status = WaveStatus::NoData;
    return w;
}

const char* wave_message(WaveStatus status) {
    switch (status) {
        case WaveStatus::Ok: return nullptr;
        case WaveStatus::NoRiff: return "No Wave file (RIFF signature missing)!";
        case WaveStatus::NoWave: return "No Wave file (WAVE signature missing)!";
        case WaveStatus::BadFormat: return "Bad Wave file (bad format header)!";
        case WaveStatus::Compressed: return "Can't read compressed wave files!";
        case WaveStatus::Not16Bit: return "Must be an 16-bit wave file!";
        case WaveStatus::NoData: return "Unable to find wave data!";
    }
    return nullptr;
}

uint16_t wave_peak(vgm::Bytes file, uint64_t pos, uint32_t size) {
    if (pos >= file.size()) return 0;
    // Whole samples while the bytes read stay below `size` (an odd size
    // takes one more byte), as far as the file goes.
    const uint64_t wanted = (uint64_t{size} + 1) / 2;
    const uint64_t present = (file.size() - pos) / 2;
    const size_t count = static_cast<size_t>(std::min(wanted, present));
    const uint8_t* p = file.data() + pos;
    uint16_t peak = 0;
    for (size_t i = 0; i < count; ++i, p += 2) {
        const int16_t s = static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
        const uint16_t mag = static_cast<uint16_t>(s < 0 ? -static_cast<int32_t>(s) : s);
        peak = std::max(peak, mag);
    }
    return peak;
}

}  // namespace bexolt
