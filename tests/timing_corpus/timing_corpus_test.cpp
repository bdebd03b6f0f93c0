// glimber and kadrel over the real files of the corpus: every run ends
// normally, and every output is a consistent VGM file whose stream keeps the
// invariants of its program.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tool_runner.h"
#include "vgm/commands.h"
#include "vgm/fileio.h"
#include "vgm/gd3.h"
#include "vgm/loader.h"
#include "vgm_builder.h"

using testvgm::ByteVec;

namespace {

std::vector<std::string> corpus_vgm_files() {
    std::vector<std::string> files;
    const std::string root = testvgm::corpus_dir();
    if (root.empty()) return files;
    for (const char* sub : {"vgm-opl", "vgm-sega"}) {
        const std::string dir = root + "/" + sub;
        DIR* d = opendir(dir.c_str());
        if (!d) continue;
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') files.push_back(dir + "/" + e->d_name);
        closedir(d);
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string base_of(const std::string& path) { return path.substr(path.rfind('/') + 1); }

struct StreamFacts {
    bool loop_on_command = false;
    uint64_t waits = 0;          // 0x61, 0x62, 0x63, 0x70-0x7F
    uint64_t dac_waits = 0;      // low nibbles of 0x80-0x8F
    size_t short_waits = 0;      // 0x70-0x7F
    bool all_0x61_multiple = true;
};

// Walks an output stream from its data start to 0x66 or its end.
StreamFacts walk(const vgm::VgmImage& img, uint32_t frame) {
    StreamFacts f;
    size_t pos = img.data_start();
    while (pos < img.file_size) {
        if (pos == img.header.loop()) f.loop_on_command = true;
        const uint8_t op = img.bytes[pos];
        const uint32_t len = vgm::command_length(img.data(), pos, vgm::kShortReservedReporting);
        if (!vgm::command_fits(img.file_size, pos, len)) break;
        if (op == 0x61 || op == 0x62 || op == 0x63 || (op >= 0x70 && op <= 0x7F)) {
            const uint32_t n = vgm::wait_samples(img.data(), pos);
            f.waits += n;
            if (op >= 0x70) ++f.short_waits;
            if (op == 0x61 && frame && n % frame) f.all_0x61_multiple = false;
        } else if (op >= 0x80 && op <= 0x8F) {
            f.dac_waits += op & 0x0F;
        }
        if (op == 0x66) break;
        pos += len;
    }
    return f;
}

ByteVec tag_of(const ByteVec& file) {
    const auto tag = vgm::find_gd3(file);
    return tag ? ByteVec(tag->block.begin(), tag->block.end()) : ByteVec{};
}

// Checks what every output of a rewrite shares: the header as the input had
// it apart from the rebuilt fields, the EOF offset, the same tag.
void check_common(const ByteVec& in, const ByteVec& out, const vgm::VgmImage& img) {
    ASSERT_GE(out.size(), 0x40u);
    EXPECT_EQ(vgm::load_le32(out, 0), vgm::kVgmSignature);
    EXPECT_EQ(vgm::load_le32(out, 0x04), out.size() - 4);
    EXPECT_EQ(tag_of(out), tag_of(in));
    EXPECT_EQ(vgm::load_le32(out, 0x08), vgm::load_le32(in, 0x08));
    EXPECT_EQ(vgm::load_le32(out, 0x34), vgm::load_le32(in, 0x34));
    if (img.header.loop()) {
        EXPECT_TRUE(walk(img, 0).loop_on_command) << "loop offset between commands";
    }
}

}  // namespace

TEST(TimingCorpus, GlimberAndKadrelOnRealFiles) {
    const auto files = corpus_vgm_files();
    if (files.empty()) GTEST_SKIP() << "corpus not found";
    int glimber_outputs = 0, kadrel_outputs = 0;
    for (const auto& path : files) {
        SCOPED_TRACE(path);
        const std::string name = base_of(path);
        const std::string stem = vgm::base_name_of(name);
        ByteVec stored;
        ASSERT_TRUE(vgm::read_file(path, stored));
        const ByteVec in = testvgm::gunzip(stored);
        auto in_img = vgm::image_from_bytes(in, vgm::FixupProfile::Short);
        ASSERT_TRUE(in_img);
        const StreamFacts in_facts = walk(*in_img, 0);

        testvgm::TempDir dir;
        dir.write(name, stored);
        const std::string head = testvgm::banner("glimber") + "File Name:\t" + name + "\n\n";
        const auto g = testvgm::run_tool("glimber", {name}, dir.path());
        EXPECT_EQ(g.exit_code, 0);
        EXPECT_EQ(g.out.substr(0, head.size()), head);
        if (dir.exists(stem + "_no1smpl.vgm")) {
            ++glimber_outputs;
            EXPECT_EQ(g.out, head + "\t\t\t\t\t\t\t\t\r" + stem + "_no1smpl.vgm written.\n");
            const ByteVec out = dir.read(stem + "_no1smpl.vgm");
            auto img = vgm::image_from_bytes(out, vgm::FixupProfile::Short);
            ASSERT_TRUE(img);
            check_common(in, out, *img);
            const StreamFacts f = walk(*img, 0);
            // Time is only moved: the output's waits are the input's minus
            // what was held back at the end, and its header says so.
            EXPECT_EQ(vgm::load_le32(out, 0x18), f.waits + f.dac_waits);
            EXPECT_LE(f.waits, in_facts.waits);
            EXPECT_LE(f.short_waits, in_facts.short_waits);
            EXPECT_EQ(f.dac_waits, in_facts.dac_waits);
        } else {
            EXPECT_EQ(g.out, head);
        }

        const uint32_t rate = in_img->header.u32(0x24) ? in_img->header.u32(0x24) : 60;
        const auto k = testvgm::run_tool("kadrel", {name}, dir.path());
        EXPECT_EQ(k.exit_code, 0);
        if (44100 % rate != 0) {
            EXPECT_FALSE(dir.exists(stem + "_frame.vgm"));
            EXPECT_NE(k.out.find("Error! VGM Frame Rate can't be rounded to whole samples!\n"), std::string::npos);
            continue;
        }
        ASSERT_TRUE(dir.exists(stem + "_frame.vgm"));
        ++kadrel_outputs;
        EXPECT_NE(k.out.find("Maximum Rounding Difference:\n"), std::string::npos);
        const ByteVec out = dir.read(stem + "_frame.vgm");
        auto img = vgm::image_from_bytes(out, vgm::FixupProfile::Short);
        ASSERT_TRUE(img);
        check_common(in, out, *img);
        EXPECT_EQ(vgm::load_le32(out, 0x24), rate);
        const uint32_t frame = 44100 / rate;
        const StreamFacts f = walk(*img, frame);
        // Every wait written is a whole number of frames, and the waits end
        // on the frame nearest to the input's time.
        EXPECT_EQ(f.short_waits, 0u);
        EXPECT_TRUE(f.all_0x61_multiple);
        EXPECT_EQ(f.waits % frame, 0u);
        const uint64_t in_time = in_facts.waits + in_facts.dac_waits;
        EXPECT_LE(f.waits, in_time + frame / 2);
        // DAC writes after the last wait add time that no wait follows.
        EXPECT_GE(f.waits + frame / 2 + 1, in_facts.waits);
        EXPECT_EQ(vgm::load_le32(out, 0x18) % frame, 0u);
    }
    EXPECT_GT(glimber_outputs, 0);
    EXPECT_GT(kadrel_outputs, 0);
}
