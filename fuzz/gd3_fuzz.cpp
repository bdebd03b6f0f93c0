// The GD3 tag rules over arbitrary bytes: finding, carrying, attaching and
// reading the title must stay inside the buffer and give consistent blocks.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "vgm/gd3.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const vgm::Bytes file(data, size);
    const auto tag = vgm::find_gd3(file);
    if (tag) {
        if (tag->pos + tag->block.size() > size || tag->block.size() < vgm::kGd3HeadSize) std::abort();
        if (tag->block.data() != data + tag->pos) std::abort();
        if (vgm::load_le32(tag->block, 0) != vgm::kGd3Magic) std::abort();
        if (tag->block.size() - vgm::kGd3HeadSize > tag->length) std::abort();

        std::vector<uint8_t> out(3, 0);
        const size_t at = vgm::append_gd3(out, *tag);
        if (at != 3 || out.size() != 3 + tag->block.size()) std::abort();
        if (vgm::load_le32(out, at + 8) != out.size() - at - vgm::kGd3HeadSize) std::abort();

        const std::u16string title = vgm::gd3_title_units(*tag);
        if (title.size() * 2 > tag->length + 1 || title.size() * 2 > size) std::abort();
        if (vgm::title_to_multibyte(title).size() > title.size()) std::abort();

        // Attaching the tag to the file itself.
        std::vector<uint8_t> joined;
        if (vgm::attach_gd3(file, tag->block, joined)) {
            if (joined.size() > size + tag->block.size()) std::abort();
            if (vgm::load_le32(joined, 0x04) != joined.size() - 4) std::abort();
            const auto again = vgm::find_gd3(joined);
            if (!again || again->block.size() != tag->block.size()) std::abort();
        }
    }
    vgm::read_gd3_title(file);
    return 0;
}

std::vector<std::vector<uint8_t>> fuzz_seeds() {
    std::vector<uint8_t> v(0x40, 0);
    v[0] = 'V', v[1] = 'g', v[2] = 'm', v[3] = ' ';
    v[0x14] = 0x40 - 0x14;
    const uint8_t tag[] = {'G', 'd', '3', ' ', 0, 1, 0, 0, 10, 0, 0, 0, 'A', 0, 0xE9, 0, 0, 0, 'G', 0, 0, 0};
    v.insert(v.end(), tag, tag + sizeof tag);
    v[0x04] = static_cast<uint8_t>(v.size() - 4);
    return {v};
}
