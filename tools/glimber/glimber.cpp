#include "glimber.h"

#include <cstdlib>
#include <cstring>

#include "vgm/commands.h"
#include "vgm/output.h"
#include "vgm/program.h"

namespace {

constexpr const char* kDelayOption = "-delay:";
constexpr size_t kDelayOptionLength = 7;

bool is_wait(uint8_t op) { return op == 0x61 || op == 0x62 || op == 0x63 || (op >= 0x70 && op <= 0x7F); }

// Writes held-back time as 0x70-0x7F for up to 16 samples, else 0x61.
void emit_pending(vgm::OutputState& out, uint64_t& pending) {
    while (pending > 0) {
        const uint32_t chunk = pending > 0xFFFF ? 0xFFFF : static_cast<uint32_t>(pending);
        if (chunk <= 16) {
            out.put(static_cast<uint8_t>(0x70 + chunk - 1));
        } else {
            out.put(vgm::cmd::kWait);
            out.put_le16(static_cast<uint16_t>(chunk));
        }
        pending -= chunk;
    }
}

}  // namespace

int glimber_options(int argc, char** argv, uint16_t& threshold) {
    threshold = 1;
    int i = 1;
    for (; i < argc && std::strncmp(argv[i], kDelayOption, kDelayOptionLength) == 0; ++i) {
        threshold = static_cast<uint16_t>(std::strtoul(argv[i] + kDelayOptionLength, nullptr, 0));
    }
    if (threshold == 0) threshold = 1;
    return i;
}

GlimberResult glimber_walk(vgm::Console& con, const vgm::VgmImage& in, uint16_t threshold, vgm::OutputState& out) {
    const vgm::Bytes data = in.data();
    const size_t size = in.file_size;
    const uint32_t loop = in.header.loop();
    GlimberResult r;
    uint64_t pending = 0;      // samples taken out and not yet written back
    bool wait_last = false;    // the last thing appended was a wait
    bool follow_up = false;    // the previous wait was taken out
    uint32_t input_time = 0;   // all waits of the input so far

    size_t pos = in.data_start();
    while (pos < size) {
        const uint8_t op = data[pos];
        const uint32_t len = vgm::command_length(data, pos, vgm::kShortReservedReporting);
        if (!vgm::command_fits(size, pos, len)) {
            // A command cut off by the end of the file is kept as it stands.
            out.record_loop(static_cast<uint32_t>(pos));
            out.copy_input(pos, size - pos);
            break;
        }
        if (!is_wait(op)) {
            if (!vgm::has_defined_length(op)) vgm::print_unknown_command(con, op);
            if (op >= 0x80 && op <= 0x8F) input_time += op & 0x0Fu;
            out.record_loop(static_cast<uint32_t>(pos));
            out.copy_input(pos, len);
            wait_last = false;
            follow_up = false;
            if (op == vgm::cmd::kEnd) break;
        } else {
            const uint32_t n = vgm::wait_samples(data, pos);
            input_time += n;
            out.record_loop(static_cast<uint32_t>(pos));
            const bool is_long = n > threshold;
            if (follow_up) {
                emit_pending(out, pending);
                out.copy_input(pos, len);
                wait_last = true;
                follow_up = false;
            } else if (pending == 0 && is_long) {
                out.copy_input(pos, len);
                wait_last = true;
            } else if (wait_last || (loop != 0 && pos == loop)) {
                emit_pending(out, pending);
                out.copy_input(pos, len);
                wait_last = true;
            } else if (is_long) {
                pending += n;
                emit_pending(out, pending);
                wait_last = true;
            } else {
                // A short wait right after a command: held back until the
                // next wait.
                pending += n;
                r.changed = true;
                follow_up = true;
            }
        }
        pos += len;
    }
    // Time still held back at the end is dropped.
    r.total_samples = input_time - static_cast<uint32_t>(pending);
    return r;
}

int glimber_run(int argc, char** argv, vgm::Console& con) {
    uint16_t threshold = 1;
    const int input_arg = glimber_options(argc, argv, threshold);
    const vgm::FrontEnd front{"glimber", true, input_arg, 0, vgm::FixupProfile::Short};
    int exit_code = 0;
    const auto in = vgm::start_vgm_program(con, argc, argv, front, exit_code);
    if (!in) return exit_code;

    vgm::OutputState out(*in);
    const GlimberResult r = glimber_walk(con, *in, threshold, out);
    if (!r.changed) return 0;

    vgm::finish_output(con, out, *in, vgm::kLoopWarning);
    out.set_u32(vgm::hdr::kTotalSamples, r.total_samples);
    const std::string out_name = vgm::output_name(in->base_name, "_no1smpl.vgm", argc, argv, input_arg + 1);
    if (!vgm::write_output(con, out_name, out.bytes(), vgm::MessageStyle::A)) return vgm::kExitWriteFailed;
    return 0;
}
