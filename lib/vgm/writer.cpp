#include "vgm/writer.h"

#include <algorithm>

namespace vgm {

namespace {
uint32_t stream_start(const VgmImage& in) { return std::min(in.data_start(), in.file_size); }
}  // namespace

OutputState::OutputState(const VgmImage& in) : in_(in.bytes), in_loop_(in.header.loop()) {
    buf_.reserve(in.file_size + size_t{64});
    buf_.resize(stream_start(in), 0);
}

bool carry_gd3(OutputState& out, const VgmImage& in) {
    const auto tag = find_gd3_at(in.bytes, in.header.gd3());
    if (!tag) return false;
    const size_t at = append_gd3(out.buffer(), *tag);
    out.set_u32(hdr::kGd3Offset, static_cast<uint32_t>(at - hdr::kGd3Offset));
    return true;
}

uint32_t finish_output(Console& con, OutputState& out, const VgmImage& in, const char* loop_warning) {
    if (in.header.loop() != 0 && out.loop_pos() == 0 && loop_warning) con.line(loop_warning);
    std::vector<uint8_t>& buf = out.buffer();
    const uint32_t head = std::min<uint32_t>(stream_start(in), static_cast<uint32_t>(buf.size()));
    std::copy_n(in.bytes.begin(), head, buf.begin());
    out.set_u32(hdr::kLoopOffset, out.loop_pos() ? out.loop_pos() - static_cast<uint32_t>(hdr::kLoopOffset) : 0);
    carry_gd3(out, in);
    out.set_u32(hdr::kEofOffset, out.write_pos() - 4);
    return out.write_pos();
}

}  // namespace vgm
