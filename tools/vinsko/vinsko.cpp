#include "vinsko.h"

#include <algorithm>

#include "vgm/cursor.h"
#include "vgm/output.h"
#include "vgm/program.h"

namespace vinsko {

namespace {

using vgm::block::kBankCount;
namespace packing = vgm::packing;

// Reserved commands 0x40-0x4E are two bytes long here; a byte without a
// defined length is reported and counts as one byte.
constexpr vgm::WalkPolicy kWalk = vgm::kShortReservedReporting;

// The clearing sequence of this program: nine tabs and a carriage return.
constexpr const char* kClear = "\t\t\t\t\t\t\t\t\t\r";

constexpr const char* kSuffix = "_compressed.vgm";

// Which table a player would decode a table-coded block with: the last table
// block before it in the output. Either one of the groups' tables, or a table
// block copied from the input (identified by its input position).
struct TableInForce {
    enum class Kind { None, Group, Input } kind = Kind::None;
    size_t id = 0;

    bool is_group(uint32_t g) const { return kind == Kind::Group && id == g; }
    bool is_input(size_t pos) const { return kind == Kind::Input && id == pos; }
};

// Value-to-index tables of the groups, one per stream type, rebuilt when the
// type's next table-coded block belongs to another group. Groups of one type
// follow one another, so each is built once.
class GroupIndex {
public:
    const std::vector<uint16_t>& of(const Plan& plan, uint32_t g) {
        const TableGroup& group = plan.groups[g];
        Slot& s = slots_[group.type];
        if (s.group != g) {
            s.index.assign(size_t{1} << group.bits_decompressed, 0);
            for (size_t i = 0; i < group.values.size(); ++i) s.index[group.values[i]] = static_cast<uint16_t>(i);
            s.group = g;
        }
        return s.index;
    }

private:
    struct Slot {
        uint32_t group = kNoGroup;
        std::vector<uint16_t> index;
    };
    std::array<Slot, kBankCount> slots_;
};

// Packs every value of `payload` through `code`.
template <typename Code>
void pack_values(std::span<uint8_t> out, vgm::Bytes payload, const PackParams& p, Code code) {
    packing::BitPacker packer(out, p.bits);
    if (p.value_width == 1) {
        for (const uint8_t x : payload) packer.put(code(x));
    } else {
        const size_t n = payload.size();
        for (size_t i = 0; i < n; i += 2) {
            const uint32_t x = payload[i] | (i + 1 < n ? payload[i + 1] << 8 : 0u);
            packer.put(code(x));
        }
    }
    packer.finish();
}

// Appends the compressed block of `ref`, of type `type` + 0x40.
void append_compressed_block(std::vector<uint8_t>& out, uint8_t type, const StreamBlockRef& ref, const PackParams& p,
                             const std::vector<uint16_t>* index) {
    const uint64_t count = packing::value_count(ref.length, p.bits_decompressed);
    const uint64_t packed = packing::packed_length(count, p.bits);
    const auto head = vgm::data_block_header(static_cast<uint8_t>(type + vgm::block::kFirstCompressed),
                                             static_cast<uint32_t>(packing::kCompressedHeaderSize + packed));
    out.insert(out.end(), head.begin(), head.end());
    packing::CompressedHeader h;
    h.uncompressed_length = ref.length;
    h.bits_decompressed = p.bits_decompressed;
    h.bits_compressed = p.bits;
    h.add = p.add;
    h.sub_type = static_cast<uint8_t>(p.coding == Coding::Copy        ? packing::SubType::Copy
                                      : p.coding == Coding::ShiftLeft ? packing::SubType::ShiftLeft
                                                                      : packing::SubType::Table);
    packing::append_compressed_header(out, h);
    const size_t at = out.size();
    out.resize(at + packed);
    const std::span<uint8_t> dst(out.data() + at, packed);
    const uint32_t add = p.add;
    switch (p.coding) {
        case Coding::Copy:
            pack_values(dst, ref.payload, p, [add](uint32_t x) { return x - add; });
            break;
        case Coding::ShiftLeft: {
            const unsigned shift = p.bits_decompressed - p.bits;
            pack_values(dst, ref.payload, p, [add, shift](uint32_t x) { return (x - add) >> shift; });
            break;
        }
        case Coding::Table: {
            const uint16_t* idx = index->data();
            pack_values(dst, ref.payload, p, [idx](uint32_t x) { return uint32_t{idx[x]}; });
            break;
        }
        case Coding::None:
            break;
    }
}

// The sub-type byte of a compressed block, or -1 when it has none.
int compressed_sub_type(const vgm::DataBlock& b) {
    const auto h = packing::read_compressed_header(b.payload);
    return h ? h->sub_type : -1;
}

}  // namespace

Options parse_options(int argc, char** argv) {
    Options o;
    if (argc > 2 && argv[2] && argv[2][0] != '\0') o.output = argv[2];
    return o;
}

void collect_blocks(vgm::Console& con, const vgm::VgmImage& in, Plan& plan) {
    vgm::CommandCursor cur(in.data(), in.data_start(), kWalk, &con);
    for (vgm::Command c; cur.next(c);) {
        if (c.op == vgm::cmd::kEnd) break;
        if (c.op != vgm::cmd::kDataBlock) continue;
        const auto b = vgm::read_data_block(in.data(), c.pos);
        if (b && b->kind() == vgm::BlockClass::Stream) plan.blocks[b->type].push_back({b->length(), b->payload});
    }
}

void write_stream(vgm::Console& con, const vgm::VgmImage& in, const Plan& plan, vgm::OutputState& out) {
    const vgm::Bytes data = in.data();
    std::array<size_t, kBankCount> next{};
    GroupIndex indexes;
    TableInForce in_force;             // in the output
    std::optional<size_t> input_table; // the last table block of the input so far
    vgm::CommandCursor cur(data, in.data_start(), kWalk, &con);
    vgm::Command c;
    while (cur.next(c)) {
        const uint32_t pos = static_cast<uint32_t>(c.pos);
        if (c.op == vgm::cmd::kDataBlock) {
            if (const auto b = vgm::read_data_block(data, c.pos)) {
                if (b->kind() == vgm::BlockClass::Stream) {
                    const size_t i = next[b->type]++;
                    if (i < plan.params[b->type].size() && plan.params[b->type][i].coding != Coding::None) {
                        const PackParams& p = plan.params[b->type][i];
                        std::vector<uint8_t>& buf = out.buffer();
                        const std::vector<uint16_t>* index = nullptr;
                        if (p.coding == Coding::Table) {
                            // The group's table goes before its first block, and
                            // again before any later one that another table would
                            // otherwise decode.
                            if (p.writes_table || !in_force.is_group(p.group)) {
                                const TableGroup& g = plan.groups[p.group];
                                packing::append_table_block(buf, g.bits_decompressed, g.bits, g.values);
                                in_force = {TableInForce::Kind::Group, p.group};
                            }
                            index = &indexes.of(plan, p.group);
                        }
                        append_compressed_block(buf, b->type, plan.blocks[b->type][i], p, index);
                        // A loop point on a replaced block moves behind it.
                        out.record_loop(pos);
                        continue;
                    }
                } else if (b->kind() == vgm::BlockClass::Table) {
                    input_table = c.pos;
                    out.record_loop(pos);
                    out.copy_input(c.pos, c.len);
                    in_force = {TableInForce::Kind::Input, c.pos};
                    continue;
                } else if (b->kind() == vgm::BlockClass::Compressed && input_table &&
                           compressed_sub_type(*b) == static_cast<int>(packing::SubType::Table) &&
                           !in_force.is_input(*input_table)) {
                    // A table-coded block of the input decodes with the input's
                    // last table: bring that table back in front of it.
                    out.record_loop(pos);
                    out.copy_input(*input_table, vgm::read_data_block(data, *input_table)->command_length());
                    out.copy_input(c.pos, c.len);
                    in_force = {TableInForce::Kind::Input, *input_table};
                    continue;
                }
            }
        }
        out.record_loop(pos);
        out.copy_input(c.pos, c.len);
        if (c.op == vgm::cmd::kEnd) return;
    }
    // A command cut off by the end of the file is kept as it stands.
    if (cur.cut_off()) {
        out.record_loop(static_cast<uint32_t>(cur.pos()));
        out.copy_input(cur.pos(), data.size() - cur.pos());
    }
}

std::vector<uint8_t> compress_image(vgm::Console& con, const vgm::VgmImage& in) {
    Plan plan;
    collect_blocks(con, in, plan);
    choose_params(plan);
    vgm::OutputState out(in);
    write_stream(con, in, plan, out);
    vgm::finish_output(con, out, in, nullptr);
    return std::move(out.buffer());
}

int run(int argc, char** argv, vgm::Console& con) {
    const Options opt = parse_options(argc, argv);
    const vgm::FrontEnd front{"vinsko", true, opt.input_arg, 1, vgm::FixupProfile::Short};
    int exit_code = 0;
    const auto in = vgm::start_vgm_program(con, argc, argv, front, exit_code);
    if (!in) return exit_code;

    const std::vector<uint8_t> out = compress_image(con, *in);
    if (out.size() >= in->file_size) {
        con.print("%s", kClear);
        con.line("No compression possible.");
        return 0;
    }
    const std::string name = opt.output ? *opt.output : in->base_name + kSuffix;
    if (!vgm::write_output(con, name, out, vgm::MessageStyle::B, kClear)) return vgm::kExitWriteFailed;
    return 0;
}

}  // namespace vinsko
