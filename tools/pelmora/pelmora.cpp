#include "pelmora.h"

#include "vgm/header.h"
#include "vgm/output.h"
#include "vgm/program.h"

namespace pelmora {

namespace {

constexpr const char* kSuffix = "_optimized.vgm";
constexpr uint32_t kOldestVersion = 0x150;  // this version and older are refused

bool uses_rf_pcm(const vgm::VgmHeader& h) {
    for (const RamChip& k : kRamChips)
        if (h.u32(k.clock_offset) != 0) return true;
    return false;
}

}  // namespace

Options parse_options(int argc, char** argv) {
    Options o;
    if (argc > 2 && argv[2] != nullptr) o.output_name = argv[2];
    return o;
}

OptimizeResult optimize(vgm::Console& con, vgm::VgmImage& in) {
    OptimizeResult r;
    const uint32_t version = in.header.version();
    if (version <= kOldestVersion) {
        con.print("VGM Version %X.%02X!? Are kidding me??\n", (version >> 8) & 0xFF, version & 0xFF);
        return r;
    }
    if (!uses_rf_pcm(in.header)) {
        con.line("No RF-PCM chips used!");
        return r;
    }
    con.line("Step 1: Merge single memory writes into larger blocks ...");
    MergeResult m = merge_writes(con, in);
    if (m.already_optimized) {
        r.outcome = Outcome::AlreadyOptimized;
        return r;
    }
    // From here on the step-1 image stands for the file.
    in.bytes.clear();
    in.bytes.shrink_to_fit();
    const size_t data_start = in.data_start();
    r.input_data_length = m.input_data_length;

    if (m.pcm_writes == 1) {
        // One write is no stream to optimize; what step 1 did stands as the
        // result (written below only when it is smaller).
        con.line("This tool can only optimize PCM streams and this vgm has no PCM stream.");
        con.line("You should try the cindrel for further compression.");
        r.output_data_length = m.data_length;
        r.file = std::move(m.image);
    } else {
        con.line("Step 2: Generate Block Data ...");
        Database db = build_database(m.image, data_start);
        con.print("%s", vgm::kClearLine);
        con.print("%u Blocks created (%.2f MB, %llux used, %ux single use).\n",
                  static_cast<uint32_t>(db.entries.size()),
                  static_cast<double>(static_cast<float>(db.byte_total) / 1048576.0f),
                  static_cast<unsigned long long>(db.use_total), db.single_use_count);
        if (db.use_total == db.single_use_count) {
            con.line("Can't optimize further.");
            r.outcome = Outcome::NotOptimizable;
            return r;
        }
        con.line("Step 3: Rewrite VGM with PCM database ...");
        RewriteResult w = rewrite(con, m.image, data_start, db);
        r.output_data_length = w.data_length;
        r.file = std::move(w.file);
    }
    const float ratio = r.input_data_length == 0 ? 0.0f
                                                 : static_cast<float>(r.output_data_length) * 100.0f /
                                                       static_cast<float>(r.input_data_length);
    con.print("Data Compression: %u -> %u (%.1f %%)\n", r.input_data_length, r.output_data_length,
              static_cast<double>(ratio));
    r.outcome = Outcome::Compressed;
    return r;
}

int run(int argc, char** argv, vgm::Console& con) {
    const Options opt = parse_options(argc, argv);
    const vgm::FrontEnd front{"pelmora", true, opt.input_arg, 1, vgm::FixupProfile::ShortOld150};
    int exit_code = 0;
    auto in = vgm::start_vgm_program(con, argc, argv, front, exit_code);
    if (!in) return exit_code;

    const OptimizeResult r = optimize(con, *in);
    if (r.outcome == Outcome::Refused) return kExitRefused;
    if (r.outcome != Outcome::Compressed || r.output_data_length >= r.input_data_length) return 0;
    const std::string name = opt.output_name.empty() ? in->base_name + kSuffix : opt.output_name;
    if (!vgm::write_output(con, name, r.file, vgm::MessageStyle::B, "")) return vgm::kExitWriteFailed;
    return 0;
}

}  // namespace pelmora
