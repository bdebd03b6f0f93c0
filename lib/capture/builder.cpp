#include "capture/builder.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>

#include "vgm/loader.h"
#include "vgm/output.h"

namespace capture {

using namespace vgm;

VgmFileBuilder::VgmFileBuilder(size_t expected_size) {
    out_.reserve(expected_size > kHeaderBytes ? expected_size : kHeaderBytes + 1);
    out_.assign(kHeaderBytes, 0);
    header_.set_u32(hdr::kSignature, kVgmSignature);
    header_.set_u32(hdr::kVersion, 0x151);
}

void VgmFileBuilder::register_write(uint8_t command, uint8_t reg, uint8_t value) {
    out_.push_back(command);
    out_.push_back(reg);
    out_.push_back(value);
}

void VgmFileBuilder::append_wait_run(uint32_t count) {
    while (count > 0) {
        const uint32_t n = count < kMaxWait ? count : kMaxWait;
        out_.push_back(0x61);
        append_le16(out_, static_cast<uint16_t>(n));
        count -= n;
    }
}

void VgmFileBuilder::wait_up_to(uint32_t target) {
    if (target <= samples_) return;
    append_wait_run(target - samples_);
    samples_ = target;
}

void VgmFileBuilder::append_samples(uint32_t count) {
    append_wait_run(count);
    samples_ += count;
}

void VgmFileBuilder::finish(bool loop) {
    out_.push_back(0x66);
    const auto length = static_cast<uint32_t>(out_.size());
    header_.set_u32(hdr::kEofOffset, length - hdr::kEofOffset);
    if (loop) {
        header_.set_u32(hdr::kLoopOffset, kHeaderBytes - hdr::kLoopOffset);
        header_.set_u32(hdr::kLoopSamples, header_.u32(hdr::kTotalSamples));
    }
    header_.set_u32(hdr::kDataOffset, kHeaderBytes - hdr::kDataOffset);
    std::copy_n(header_.bytes.begin(), kHeaderBytes, out_.begin());
}

uint32_t float_to_u32(float v) {
    if (!(v >= 1.0f)) return 0;  // also NaN
    if (v >= 18446744073709551616.0f) return 0xFFFFFFFF;
    return static_cast<uint32_t>(static_cast<uint64_t>(v));
}

std::string vgm_output_name(const std::string& input, const char* explicit_name) {
    if (explicit_name != nullptr && explicit_name[0] != '\0') return explicit_name;
    return base_name_of(input) + ".vgm";
}

int write_vgm_file(Console& con, const std::string& name, Bytes file) {
    return write_output(con, name, file, MessageStyle::B, "") ? 0 : kExitWriteFailed;
}

// The whole file. A regular file is sized first so that it is read in one
// piece; one that turns out longer or shorter is still read whole, and
// anything else (a pipe, a directory) is read in chunks or fails.
static bool read_whole_file(const std::string& name, std::vector<uint8_t>& data) {
    data.clear();
    FILE* f = std::fopen(name.c_str(), "rb");
    if (!f) return false;
    struct stat st;
    if (::fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        data.resize(static_cast<size_t>(st.st_size));
        data.resize(std::fread(data.data(), 1, data.size(), f));
    }
    uint8_t buf[1 << 16];
    for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) data.insert(data.end(), buf, buf + n);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

bool read_capture(Console& con, const std::string& name, std::vector<uint8_t>& data) {
    if (read_whole_file(name, data)) return true;
    data.clear();
    data.shrink_to_fit();
    con.line(kErrorOpeningFile);
    return false;
}

}  // namespace capture
