#include "kadrel.h"

#include <algorithm>

#include "vgm/commands.h"
#include "vgm/output.h"
#include "vgm/program.h"

namespace {

bool is_wait(uint8_t op) { return op == 0x61 || op == 0x62 || op == 0x63 || (op >= 0x70 && op <= 0x7F); }

}  // namespace

std::optional<FrameTiming> kadrel_timing(vgm::Console& con, vgm::VgmImage& in) {
    uint32_t rate = in.header.u32(vgm::hdr::kRate);
    if (rate == 0) {
        con.line("VGM Frame Rate 0 - set to 60.");
        rate = 60;
        in.header.set_u32(vgm::hdr::kRate, rate);
        vgm::store_le32(in.bytes, vgm::hdr::kRate, rate);
    }
    FrameTiming t;
    if (rate == 60) return t;
    if (rate == 50) {
        t.samples_per_frame = vgm::kFrame50;
        t.frame_wait = vgm::cmd::kWait882;
        return t;
    }
    if (vgm::kSamplesPerSecond % rate == 0) {
        con.print("Warning! Unusual VGM Frame Rate: %u\n", rate);
        t.samples_per_frame = static_cast<uint16_t>(vgm::kSamplesPerSecond / rate);
        t.long_waits = true;
        return t;
    }
    con.line("Error! VGM Frame Rate can't be rounded to whole samples!");
    return std::nullopt;
}

uint32_t kadrel_frames(uint64_t t, uint16_t samples_per_frame) {
    if (t == 0) return 0;
    return static_cast<uint32_t>(static_cast<double>(t) / samples_per_frame + 0.5);
}

RoundingStats kadrel_walk(vgm::Console& con, const vgm::VgmImage& in, const FrameTiming& timing,
                          vgm::OutputState& out) {
    const vgm::Bytes data = in.data();
    const size_t size = in.file_size;
    const uint64_t frame = timing.samples_per_frame;
    const uint16_t largest = timing.largest_wait();
    RoundingStats s;
    uint64_t running = 0;  // waits of the input so far
    uint64_t written = 0;  // waits appended to the output

    size_t pos = in.data_start();
    while (pos < size) {
        const uint8_t op = data[pos];
        const uint32_t len = vgm::command_length(data, pos, vgm::kShortReservedReporting);
        const uint32_t at = static_cast<uint32_t>(pos);
        if (!vgm::command_fits(size, pos, len)) {
            // A command cut off by the end of the file is kept as it stands.
            out.record_loop(at);
            out.copy_input(pos, size - pos);
            break;
        }
        if (!is_wait(op)) {
            if (!vgm::has_defined_length(op)) vgm::print_unknown_command(con, op);
            if (op >= 0x80 && op <= 0x8F) running += op & 0x0Fu;
            out.record_loop(at);
            out.copy_input(pos, len);
            if (op == vgm::cmd::kEnd) break;
            pos += len;
            continue;
        }

        const uint32_t n = vgm::wait_samples(data, pos);
        running += n;
        out.record_loop(at);
        const uint64_t target = uint64_t{kadrel_frames(running, timing.samples_per_frame)} * frame;
        if (!(op == vgm::cmd::kWait && n == 0xFFFF)) {
            const int32_t d = static_cast<int32_t>(static_cast<int64_t>(running) - static_cast<int64_t>(target));
            if (d < 0) {
                if (d < s.lowest) s.lowest = d, s.lowest_at = at;
            } else if (target < frame) {
                if (d > s.first_frame) s.first_frame = d, s.first_frame_at = at;
            } else if (d > s.highest) {
                s.highest = d, s.highest_at = at;
            }
        }
        while (written < target) {
            const uint64_t r = target - written;
            if (timing.long_waits || r > 2 * frame) {
                const uint16_t w = static_cast<uint16_t>(std::min<uint64_t>(r, largest));
                out.put(vgm::cmd::kWait);
                out.put_le16(w);
                written += w;
            } else {
                for (uint64_t f = 0; f < r / frame; ++f) out.put(timing.frame_wait);
                written += r;
            }
        }
        pos += len;
    }
    return s;
}

int kadrel_run(int argc, char** argv, vgm::Console& con) {
    static constexpr vgm::FrontEnd kFrontEnd{"kadrel", true, 1, 0, vgm::FixupProfile::Short};
    int exit_code = 0;
    auto in = vgm::start_vgm_program(con, argc, argv, kFrontEnd, exit_code);
    if (!in) return exit_code;

    const auto timing = kadrel_timing(con, *in);
    if (!timing) return 0;  // nothing converted, nothing written
    const uint16_t spf = timing->samples_per_frame;
    const uint32_t total = in->header.u32(vgm::hdr::kTotalSamples);
    const uint32_t loop = in->header.u32(vgm::hdr::kLoopSamples);
    const uint32_t frames = kadrel_frames(total, spf);
    const uint32_t intro = kadrel_frames(static_cast<uint32_t>(total - loop), spf);

    vgm::OutputState out(*in);
    const RoundingStats s = kadrel_walk(con, *in, *timing, out);
    vgm::finish_output(con, out, *in, vgm::kLoopWarning);
    out.set_u32(vgm::hdr::kTotalSamples, frames * spf);
    out.set_u32(vgm::hdr::kLoopSamples, (frames - intro) * spf);

    con.line("Maximum Rounding Difference:");
    con.print("\t%d at %06X\n\t%d at %06X\n\t%d at %06X (first frame only)\n", s.lowest, s.lowest_at, s.highest,
              s.highest_at, s.first_frame, s.first_frame_at);
    const std::string out_name = vgm::output_name(in->base_name, "_frame.vgm", argc, argv, 2);
    if (!vgm::write_output(con, out_name, out.bytes(), vgm::MessageStyle::A)) return vgm::kExitWriteFailed;
    return 0;
}
