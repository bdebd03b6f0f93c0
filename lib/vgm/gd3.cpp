#include "vgm/gd3.h"

#include <algorithm>
#include <climits>
#include <cwchar>

namespace vgm {

std::optional<Gd3Tag> find_gd3_at(Bytes file, uint32_t pos) {
    if (pos == 0 || !in_bounds(file.size(), pos, kGd3HeadSize)) return std::nullopt;
    if (load_le32(file, pos) != kGd3Magic) return std::nullopt;
    Gd3Tag tag;
    tag.pos = pos;
    tag.length = load_le32(file, pos + 8);
    const uint64_t avail = file.size() - pos - kGd3HeadSize;
    const uint64_t data = std::min<uint64_t>(tag.length, avail);
    tag.block = file.subspan(pos, kGd3HeadSize + static_cast<size_t>(data));
    tag.file = file;
    return tag;
}

std::optional<Gd3Tag> find_gd3(Bytes file) {
    const uint32_t rel = load_le32(file, 0x14);
    if (rel == 0) return std::nullopt;
    return find_gd3_at(file, static_cast<uint32_t>(rel + 0x14u));
}

size_t append_gd3(std::vector<uint8_t>& out, const Gd3Tag& tag) {
    const size_t at = out.size();
    out.insert(out.end(), tag.block.begin(), tag.block.end());
    if (tag.cut_short())
        store_le32(std::span<uint8_t>(out).subspan(at), 8, static_cast<uint32_t>(tag.block.size() - kGd3HeadSize));
    return at;
}

bool attach_gd3(Bytes dest, Bytes tag_block, std::vector<uint8_t>& out) {
    if (tag_block.size() < kGd3HeadSize) return false;
    const uint32_t gd3 = load_le32(dest, 0x14);
    uint64_t keep = gd3 != 0 ? uint64_t{0x14} + gd3 : uint64_t{load_le32(dest, 0x04)} + 4;
    keep = std::min<uint64_t>(keep, dest.size());
    if (keep < 0x18) return false;
    const uint64_t total = keep + tag_block.size();
    if (total > 0xFFFFFFFFu) return false;
    std::vector<uint8_t> result(dest.begin(), dest.begin() + static_cast<ptrdiff_t>(keep));
    result.insert(result.end(), tag_block.begin(), tag_block.end());
    store_le32(result, 0x04, static_cast<uint32_t>(total - 4));
    store_le32(result, 0x14, static_cast<uint32_t>(keep - 0x14));
    out = std::move(result);
    return true;
}

std::u16string gd3_title_units(const Gd3Tag& tag) {
    std::u16string title;
    const Bytes data = tag.file.subspan(tag.pos + kGd3HeadSize);
    // Units are read while the bytes read so far are fewer than the length
    // field and a whole unit is left in the buffer.
    for (size_t off = 0; off < tag.length && off + 2 <= data.size(); off += 2) {
        const uint16_t unit = load_le16(data, off);
        if (unit == 0) break;
        title.push_back(static_cast<char16_t>(unit));
    }
    return title;
}

std::string title_to_multibyte(const std::u16string& title) {
    std::string out;
    const size_t limit = title.size();
    std::mbstate_t state{};
    char buf[MB_LEN_MAX];
    for (char16_t unit : title) {
        const size_t n = std::wcrtomb(buf, static_cast<wchar_t>(unit), &state);
        if (n == static_cast<size_t>(-1) || out.size() + n > limit) break;
        out.append(buf, n);
    }
    return out;
}

std::string read_gd3_title(Bytes file) {
    const auto tag = find_gd3(file);
    if (!tag) return "";
    return title_to_multibyte(gd3_title_units(*tag));
}

}  // namespace vgm
