#include "vgm/loader.h"

#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace vgm {

std::string base_name_of(const std::string& name) {
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

void fix_up_header(VgmHeader& h, FixupProfile profile) {
    const uint32_t version = h.version();
    const bool full = profile == FixupProfile::FullClearing || profile == FixupProfile::FullCopying;
    if (full) {
        if (version <= 0x100) h.set_u32(hdr::kRate, 0);
        if (version <= 0x10F) {
            h.set_u16(hdr::kSnFeedback, 0);
            h.set_u8(hdr::kSnShiftWidth, 0);
            const uint32_t fm = profile == FixupProfile::FullCopying ? h.u32(hdr::kYm2413Clock) : 0;
            h.set_u32(hdr::kYm2612Clock, fm);
            h.set_u32(hdr::kYm2151Clock, fm);
        }
    }
    if (version <= 0x14F) h.set_u32(hdr::kDataOffset, 0);
    if (version <= 0x150) std::fill(h.bytes.begin() + hdr::kSegaPcmClock, h.bytes.begin() + hdr::kRf5c68Clock, 0);

    // Relative offsets become absolute positions. The EOF position is kept in
    // 32 bits; image_from_bytes works out the real size in 64 bits.
    h.set_u32(hdr::kEofOffset, h.u32(hdr::kEofOffset) + 4);
    if (h.gd3()) h.set_u32(hdr::kGd3Offset, h.gd3() + hdr::kGd3Offset);
    if (h.loop()) h.set_u32(hdr::kLoopOffset, h.loop() + hdr::kLoopOffset);
    const uint32_t data = h.u32(hdr::kDataOffset);
    h.set_u32(hdr::kDataOffset, data ? data + static_cast<uint32_t>(hdr::kDataOffset) : 0x40);

    const uint32_t old_threshold = profile == FixupProfile::ShortOld150 ? 0x150 : 0x14F;
    const uint32_t header_end = version <= old_threshold ? 0x40 : h.data_start();
    if (header_end < hdr::kSize) std::fill(h.bytes.begin() + header_end, h.bytes.end(), 0);
}

std::optional<VgmImage> image_from_bytes(std::vector<uint8_t> stored, FixupProfile profile) {
    if (load_le32(stored, 0) != kVgmSignature) return std::nullopt;
    VgmImage img;
    std::copy_n(stored.begin(), std::min(stored.size(), hdr::kSize), img.header.bytes.begin());
    const uint64_t claimed = static_cast<uint64_t>(img.header.u32(hdr::kEofOffset)) + 4;
    fix_up_header(img.header, profile);
    if (stored.size() > claimed) stored.resize(claimed);
    img.bytes = std::move(stored);
    if (img.bytes.capacity() - img.bytes.size() > img.bytes.size() / 8) img.bytes.shrink_to_fit();
    img.file_size = static_cast<uint32_t>(img.bytes.size());
    // The EOF position in the record is the size actually held.
    img.header.set_u32(hdr::kEofOffset, img.file_size);
    return img;
}

namespace {

struct GzFile {
    gzFile f = nullptr;
    ~GzFile() {
        if (f) gzclose(f);
    }
};

// How many bytes the file will likely decompress to: its size when stored
// plain, the size in the gzip trailer otherwise (only a hint: the trailer
// holds the size modulo 4 GiB and may be damaged).
uint64_t size_hint(const std::string& name, bool plain) {
    struct stat st;
    if (::stat(name.c_str(), &st) != 0 || st.st_size <= 0) return 0;
    const uint64_t stored = static_cast<uint64_t>(st.st_size);
    if (plain) return stored;
    FILE* f = std::fopen(name.c_str(), "rb");
    if (!f) return 0;
    uint8_t trailer[4] = {};
    uint64_t hint = 0;
    if (std::fseek(f, -4, SEEK_END) == 0 && std::fread(trailer, 1, 4, f) == 4) hint = load_le32(trailer, 0);
    std::fclose(f);
    // deflate cannot expand data by more than about 1032 times
    return std::min<uint64_t>(hint, stored * 1032);
}

// Reads up to `limit` bytes from the current position, in chunks, so memory
// follows what the file really holds rather than what its header claims.
bool read_up_to(gzFile f, uint64_t limit, uint64_t hint, std::vector<uint8_t>& out) {
    constexpr size_t kChunk = 1 << 16;  // small, so a damaged stream loses little
    out.clear();
    out.reserve(static_cast<size_t>(std::min(limit, hint)));
    while (out.size() < limit) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(kChunk, limit - out.size()));
        const size_t old = out.size();
        out.resize(old + want);
        const int got = gzread(f, out.data() + old, static_cast<unsigned>(want));
        if (got < 0) {
            // A damaged gzip stream: keep what decoded cleanly.
            out.resize(old);
            return true;
        }
        out.resize(old + static_cast<size_t>(got));
        if (static_cast<size_t>(got) < want) break;
    }
    return true;
}

}  // namespace

std::optional<VgmImage> load_vgm(Console& con, const std::string& name, FixupProfile profile) {
    GzFile gz;
    gz.f = gzopen(name.c_str(), "rb");
    if (!gz.f) {
        con.line("Error opening the file!");
        return std::nullopt;
    }
    uint8_t sig[4] = {};
    gzseek(gz.f, 0, SEEK_SET);
    if (gzread(gz.f, sig, 4) != 4 || load_le32(sig, 0) != kVgmSignature) {
        gzclose(gz.f);
        gz.f = nullptr;
        con.line("Error opening the file!");
        return std::nullopt;
    }
    uint8_t head[hdr::kSize] = {};
    gzseek(gz.f, 0, SEEK_SET);
    const int got = gzread(gz.f, head, sizeof head);
    if (got < 4 || load_le32(head, 0) != kVgmSignature) {
        gzclose(gz.f);
        gz.f = nullptr;
        con.line("VGM signature matched on the first read, but not on the second one!");
        con.line("This is a known zlib bug where gzseek fails. Please install a fixed zlib.");
        con.line("Error opening the file!");
        return std::nullopt;
    }
    const uint64_t claimed = static_cast<uint64_t>(load_le32(head, hdr::kEofOffset)) + 4;
    std::vector<uint8_t> stored;
    const uint64_t hint = size_hint(name, gzdirect(gz.f) != 0);
    gzseek(gz.f, 0, SEEK_SET);
    // The header record is always the first 228 bytes, even when the EOF
    // offset claims a shorter file; image_from_bytes cuts the bytes after.
    read_up_to(gz.f, std::max<uint64_t>(claimed, hdr::kSize), hint, stored);
    gzclose(gz.f);
    gz.f = nullptr;

    auto img = image_from_bytes(std::move(stored), profile);
    if (!img) {
        con.line("Error opening the file!");
        return std::nullopt;
    }
    img->base_name = base_name_of(name);
    con.line("");
    return img;
}

}  // namespace vgm
