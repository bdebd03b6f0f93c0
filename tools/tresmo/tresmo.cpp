#include "tresmo.h"

#include <algorithm>

#include "vgm/commands.h"
#include "vgm/cursor.h"
#include "vgm/output.h"
#include "vgm/program.h"

namespace tresmo {

using vgm::Bytes;
using vgm::Command;
using vgm::CommandCursor;
namespace stream = vgm::stream;

namespace {

constexpr const char* kSuffix = "_optimized.vgm";
constexpr const char* kLoopWarning = "Warning! Failed to relocate loop!";
constexpr uint8_t kBankMask = vgm::block::kBankCount - 1;
constexpr uint32_t kMaxBlockId = 0xFFFF;  // the 16-bit block id of a fast start
constexpr uint32_t kMinDataStart = 0x40;
constexpr const char* kCompressedRefusal = "Unable to optimize DAC streams that use compreseed data blocks!";
constexpr const char* kFastStartRefusal = "Stream Command optimization already used.";

void refuse(vgm::Console& con, const char* why) {
    con.line(why);
    con.print("%s", vgm::kClearLine);
}

// The scan counts the reserved commands 0x40-0x4E two bytes long, the rewrite
// three.
constexpr vgm::WalkPolicy kScanWalk = vgm::kShortReservedReporting;
constexpr vgm::WalkPolicy kRewriteWalk = vgm::kLongReservedReporting;

Slot& slot_of(StreamSetup& s, uint8_t op) {
    if (op == stream::kSetup) return s.setup;
    if (op == stream::kData) return s.data;
    return s.frequency;
}
const Slot& slot_of(const StreamSetup& s, uint8_t op) { return slot_of(const_cast<StreamSetup&>(s), op); }

bool same_command(Bytes data, size_t pos, const Command& c) {
    if (!vgm::in_bounds(data.size(), pos, c.len)) return false;
    return std::equal(c.bytes.begin(), c.bytes.end(), data.begin() + static_cast<ptrdiff_t>(pos));
}

void track_setup(Bytes data, Slot& slot, const Command& c) {
    switch (slot.state) {
        case Slot::State::Varying: break;
        case Slot::State::Empty:
            slot.state = Slot::State::Constant;
            slot.pos = c.pos;
            break;
        case Slot::State::Constant:
            if (!same_command(data, slot.pos, c)) slot.state = Slot::State::Varying;
            break;
    }
}

// Appends bank bytes [from, to) from the input blocks that hold them. `next`
// is the index of the first block that may hold `from`; the calls of one bank
// come in ascending order, so it only moves forward.
void append_bank_bytes(vgm::OutputState& out, const vgm::DataBank& bank, uint64_t from, uint64_t to,
                       size_t& next) {
    while (from < to && next < bank.blocks.size()) {
        const vgm::BankBlock& b = bank.blocks[next];
        const uint64_t b_end = b.offset + b.length;
        if (b_end <= from) {
            ++next;
            continue;
        }
        const uint64_t piece_end = std::min(to, b_end);
        out.copy_input(b.pos + vgm::cmd::kDataBlockHeaderSize + (from - b.offset), piece_end - from);
        from = piece_end;
    }
}

void write_block(vgm::OutputState& out, uint8_t type, const vgm::DataBank& bank, uint64_t from, uint64_t to,
                 size_t& next) {
    const auto h = vgm::data_block_header(type, static_cast<uint32_t>(to - from));
    out.append(h);
    append_bank_bytes(out, bank, from, to, next);
}

void copy_setup(vgm::Console& con, vgm::OutputState& out, uint8_t op, size_t pos, uint32_t len) {
    con.print("Copying data from for command %02X 0x%06X -> 0x%06X\n", op, static_cast<unsigned>(pos),
              out.write_pos());
    out.copy_input(pos, len);
}

}  // namespace

Options parse_options(int argc, char** argv) {
    Options o;
    if (argc > 2 && argv[2] != nullptr) o.output = argv[2];
    return o;
}

void UsageMask::add(uint8_t bank, uint32_t start, uint32_t length) {
    bank &= kBankMask;
    auto [it, fresh] = index_[bank].try_emplace(key(start, length), static_cast<uint32_t>(lists_[bank].size()));
    if (fresh) lists_[bank].push_back(SampleRange{start, length, kNoBlock});
}

void UsageMask::sort() {
    for (size_t b = 0; b < lists_.size(); ++b) {
        auto& list = lists_[b];
        std::sort(list.begin(), list.end(), [](const SampleRange& x, const SampleRange& y) {
            return x.start != y.start ? x.start < y.start : x.length < y.length;
        });
        for (uint32_t i = 0; i < list.size(); ++i) index_[b][key(list[i].start, list[i].length)] = i;
    }
}

const SampleRange* UsageMask::find(uint8_t bank, uint32_t start, uint32_t length) const {
    bank &= kBankMask;
    const auto it = index_[bank].find(key(start, length));
    return it == index_[bank].end() ? nullptr : &lists_[bank][it->second];
}

Scan scan_usage(vgm::Console& con, const vgm::VgmImage& in) {
    Scan scan;
    const Bytes data = in.data();
    con.line("Creating ROM-Usage Mask ...");
    CommandCursor cur(data, in.data_start(), kScanWalk, &con);
    for (Command c; cur.next(c);) {
        if (c.op == vgm::cmd::kEnd) break;
        if (c.op == vgm::cmd::kDataBlock) {
            const auto b = vgm::read_data_block(data, c.pos);
            if (!b) continue;
            const vgm::BlockClass k = b->kind();
            if (k == vgm::BlockClass::Compressed || k == vgm::BlockClass::Table) {
                con.line(kCompressedRefusal);
                scan.refused = true;
                break;
            }
            if (scan.banks.add(*b)) scan.banked.push_back(c.pos);
        } else if (c.op == stream::kSetup || c.op == stream::kData || c.op == stream::kFrequency) {
            StreamSetup& s = scan.streams[vgm::stream_id(c.bytes)];
            track_setup(data, slot_of(s, c.op), c);
            if (c.op == stream::kData) s.bank = vgm::stream_data_bank(c.bytes);
        } else if (c.op == stream::kStart) {
            const vgm::StreamStart st = vgm::read_stream_start(c.bytes);
            scan.usage.add(scan.streams[st.stream].bank, st.start, st.length);
        } else if (c.op == stream::kFastStart) {
            con.line(kFastStartRefusal);
            scan.refused = true;
            break;
        }
    }
    con.print("%s", vgm::kClearLine);
    return scan;
}

void print_report(vgm::Console& con, const UsageMask& usage) {
    con.line("Data Block Usage\n---------------");
    for (unsigned t = 0; t < vgm::block::kBankCount; ++t) {
        const auto& list = usage.ranges(static_cast<uint8_t>(t));
        if (list.empty()) continue;
        con.print("Start   End     Size  -- Datablock Type 0x%02X\n", t);
        for (const SampleRange& r : list)
            con.print("%06X  %06X  %04X\n", r.start, static_cast<uint32_t>(r.start + r.length - 1), r.length);
    }
}

bool has_overlap(const UsageMask& usage) {
    bool overlap = false;
    for (unsigned t = 0; t < vgm::block::kBankCount; ++t) {
        uint64_t end = 0;  // 64 bits: a range may end past 4 GiB
        for (const SampleRange& r : usage.ranges(static_cast<uint8_t>(t))) {
            if (r.start < end) {
                overlap = true;
                break;
            }
            end = r.end();
        }
    }
    return overlap;
}

void rebuild_blocks(vgm::OutputState& out, Scan& scan) {
    for (unsigned t = 0; t < vgm::block::kBankCount; ++t) {
        const uint8_t type = static_cast<uint8_t>(t);
        const vgm::DataBank& bank = scan.banks[type];
        if (bank.size == 0) continue;
        uint32_t counter = 0;
        uint64_t end = 0;
        size_t next = 0;
        for (SampleRange& r : scan.usage.ranges(type)) {
            // A range that runs past the bank's bytes keeps its stream starts
            // as they are: its bytes go into the gap and tail blocks.
            if (r.end() > bank.size) continue;
            if (r.start > end) {
                write_block(out, type, bank, end, r.start, next);
                ++counter;
            }
            r.block_id = counter++;
            write_block(out, type, bank, r.start, r.end(), next);
            end = r.end();
        }
        if (bank.size > end) write_block(out, type, bank, end, bank.size, next);
    }
}

void move_setups(vgm::Console& con, vgm::OutputState& out, Scan& scan) {
    for (size_t id = 0; id < scan.streams.size(); ++id) {
        StreamSetup& s = scan.streams[id];
        for (Slot* slot : {&s.setup, &s.data, &s.frequency})
            if (slot->state == Slot::State::Varying) *slot = Slot{};
        if (!s.setup.constant()) {
            s.data = Slot{};
            s.frequency = Slot{};
            continue;
        }
        copy_setup(con, out, stream::kSetup, s.setup.pos, vgm::kCommandLength[stream::kSetup]);
        if (s.data.constant()) copy_setup(con, out, stream::kData, s.data.pos, vgm::kCommandLength[stream::kData]);
        if (s.frequency.constant())
            copy_setup(con, out, stream::kFrequency, s.frequency.pos, vgm::kCommandLength[stream::kFrequency]);
    }
}

size_t rewrite_stream(vgm::Console& con, vgm::OutputState& out, const vgm::VgmImage& in, const Scan& scan,
                      std::vector<FastStart>* record) {
    const Bytes data = in.data();
    // Each stream's data bank in this walk; a stream without a 0x91 so far
    // has none, and its starts stay as they are.
    constexpr uint16_t kNoBank = 0x100;
    std::array<uint16_t, stream::kStreamCount> bank;
    bank.fill(kNoBank);
    size_t next_banked = 0;
    // Whether the moved command of a kind (set-up, data, frequency) is the
    // one in force for the stream. A repeat is dropped only while it is: a
    // command the scan did not see (the two walks count 0x40-0x4E
    // differently) may have replaced it, and then the repeat stays.
    std::array<std::array<bool, 3>, stream::kStreamCount> in_force;
    for (auto& k : in_force) k.fill(true);

    CommandCursor cur(data, in.data_start(), kRewriteWalk, &con);
    for (Command c; cur.next(c);) {
        out.record_loop(static_cast<uint32_t>(c.pos));
        if (c.op == vgm::cmd::kDataBlock) {
            // Blocks that went into the banks stand in the rebuilt blocks.
            while (next_banked < scan.banked.size() && scan.banked[next_banked] < c.pos) ++next_banked;
            if (next_banked < scan.banked.size() && scan.banked[next_banked] == c.pos) continue;
            const uint8_t type = c.arg(2);
            if (type >= vgm::block::kFirstCompressed && type <= vgm::block::kDecompressionTable) {
                refuse(con, kCompressedRefusal);
                return 0;
            }
            out.copy_input(c.pos, c.len);
        } else if (c.op == stream::kSetup || c.op == stream::kData || c.op == stream::kFrequency) {
            const uint8_t id = vgm::stream_id(c.bytes);
            if (c.op == stream::kData) bank[id] = vgm::stream_data_bank(c.bytes);
            const Slot& slot = slot_of(scan.streams[id], c.op);
            if (slot.constant()) {
                bool& moved_in_force = in_force[id][c.op - stream::kSetup];
                const bool repeat = same_command(data, slot.pos, c);
                if (repeat && moved_in_force) continue;
                moved_in_force = repeat;
            }
            out.copy_input(c.pos, c.len);
        } else if (c.op == stream::kFastStart) {
            refuse(con, kFastStartRefusal);
            return 0;
        } else if (c.op == stream::kStart) {
            const vgm::StreamStart st = vgm::read_stream_start(c.bytes);
            const uint16_t b = bank[st.stream];
            const SampleRange* r = b <= kBankMask ? scan.usage.find(static_cast<uint8_t>(b), st.start, st.length)
                                                  : nullptr;
            if (r != nullptr && r->block_id <= kMaxBlockId) {
                if (record) record->push_back(FastStart{c.pos, out.write_pos()});
                const auto fs = vgm::fast_start(st.stream, static_cast<uint16_t>(r->block_id),
                                                vgm::fast_start_flags(st.mode));
                out.append(fs);
            } else {
                out.copy_input(c.pos, c.len);
            }
        } else {
            out.copy_input(c.pos, c.len);
            if (c.op == vgm::cmd::kEnd) break;
        }
    }
    if (cur.cut_off()) {
        // A command cut off by the end of the file is kept as it stands.
        out.record_loop(static_cast<uint32_t>(cur.pos()));
        out.copy_input(cur.pos(), data.size() - cur.pos());
    }
    return out.write_pos();
}

Outcome optimize(vgm::Console& con, const vgm::VgmImage& in, vgm::OutputState& out, std::vector<FastStart>* record,
                 size_t* stream_end) {
    // Every header holds at least the 64 bytes up to 0x40. A stream said to
    // start inside them would be rebuilt over the header's own fields, so the
    // file is treated like one that cannot be read.
    if (in.data_start() < kMinDataStart) {
        con.line(vgm::kErrorOpeningFile);
        return Outcome::Unreadable;
    }
    Scan scan = scan_usage(con, in);
    if (scan.refused) return Outcome::Refused;
    scan.usage.sort();
    print_report(con, scan.usage);
    if (has_overlap(scan.usage)) {
        con.line("Overlapping samples! Unable to optimize.");
        return Outcome::Overlap;
    }
    rebuild_blocks(out, scan);
    move_setups(con, out, scan);
    const size_t end = rewrite_stream(con, out, in, scan, record);
    if (end == 0) return Outcome::Refused;
    if (stream_end) *stream_end = end;
    vgm::finish_output(con, out, in, kLoopWarning);
    con.print("%s", vgm::kClearLine);
    return Outcome::Rewritten;
}

int run(int argc, char** argv, vgm::Console& con) {
    const Options opt = parse_options(argc, argv);
    const vgm::FrontEnd front{"tresmo", true, opt.input_arg, 1, vgm::FixupProfile::Short};
    int exit_code = 0;
    const auto in = vgm::start_vgm_program(con, argc, argv, front, exit_code);
    if (!in) return exit_code;

    vgm::OutputState out(*in);
    switch (optimize(con, *in, out)) {
        case Outcome::Unreadable: return 1;
        case Outcome::Refused: return kExitRefused;
        case Outcome::Overlap: return 0;
        case Outcome::Rewritten: break;
    }
    const std::string name = opt.output.empty() ? in->base_name + kSuffix : opt.output;
    if (!vgm::write_output(con, name, out.bytes(), vgm::MessageStyle::B, "")) return vgm::kExitWriteFailed;
    return 0;
}

}  // namespace tresmo
