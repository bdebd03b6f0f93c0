#include "vgm_builder.h"

#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <unistd.h>

namespace testvgm {

static void put32(ByteVec& b, size_t off, uint32_t v) {
    if (b.size() < off + 4) b.resize(off + 4, 0);
    for (int i = 0; i < 4; ++i) b[off + i] = static_cast<uint8_t>(v >> (8 * i));
}

VgmBuilder::VgmBuilder(uint32_t version, uint32_t header_size) : header_(header_size, 0), header_size_(header_size) {
    header_[0] = 'V';
    header_[1] = 'g';
    header_[2] = 'm';
    header_[3] = ' ';
    put32(header_, 0x08, version);
    if (version >= 0x150 && header_size > 0x40) put32(header_, 0x34, header_size - 0x34);
}

VgmBuilder& VgmBuilder::u8(size_t off, uint8_t v) {
    if (header_.size() <= off) header_.resize(off + 1, 0);
    header_[off] = v;
    return *this;
}
VgmBuilder& VgmBuilder::u16(size_t off, uint16_t v) {
    u8(off, static_cast<uint8_t>(v));
    return u8(off + 1, static_cast<uint8_t>(v >> 8));
}
VgmBuilder& VgmBuilder::u32(size_t off, uint32_t v) {
    put32(header_, off, v);
    return *this;
}

VgmBuilder& VgmBuilder::cmd(std::initializer_list<uint8_t> bytes) {
    stream_.insert(stream_.end(), bytes);
    return *this;
}
VgmBuilder& VgmBuilder::raw(const ByteVec& bytes) {
    stream_.insert(stream_.end(), bytes.begin(), bytes.end());
    return *this;
}
VgmBuilder& VgmBuilder::wait(uint32_t samples) {
    while (samples > 0) {
        const uint32_t n = samples > 0xFFFF ? 0xFFFF : samples;
        cmd({0x61, static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8)});
        samples -= n;
    }
    return *this;
}
VgmBuilder& VgmBuilder::data_block(uint8_t type, const ByteVec& payload, bool second) {
    uint32_t size = static_cast<uint32_t>(payload.size()) | (second ? 0x80000000u : 0);
    cmd({0x67, 0x66, type});
    for (int i = 0; i < 4; ++i) stream_.push_back(static_cast<uint8_t>(size >> (8 * i)));
    return raw(payload);
}
VgmBuilder& VgmBuilder::loop_here() {
    loop_at_ = static_cast<int64_t>(stream_pos());
    return *this;
}
VgmBuilder& VgmBuilder::gd3(std::initializer_list<std::string> fields) {
    gd3_ = gd3_block_ascii(fields);
    return *this;
}

ByteVec VgmBuilder::build() const {
    ByteVec out = header_;
    out.resize(header_size_, 0);  // fields set beyond the header size are dropped
    out.insert(out.end(), stream_.begin(), stream_.end());
    if (loop_at_ >= 0) put32(out, 0x1C, static_cast<uint32_t>(loop_at_ - 0x1C));
    if (!gd3_.empty()) {
        put32(out, 0x14, static_cast<uint32_t>(out.size() - 0x14));
        out.insert(out.end(), gd3_.begin(), gd3_.end());
    }
    put32(out, 0x04, static_cast<uint32_t>(out.size() - 4));
    return out;
}

ByteVec gd3_block(const std::vector<std::u16string>& fields) {
    ByteVec data;
    for (const auto& f : fields) {
        for (char16_t c : f) {
            data.push_back(static_cast<uint8_t>(c));
            data.push_back(static_cast<uint8_t>(c >> 8));
        }
        data.push_back(0);
        data.push_back(0);
    }
    ByteVec out = {'G', 'd', '3', ' ', 0x00, 0x01, 0x00, 0x00};
    put32(out, 8, static_cast<uint32_t>(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

ByteVec gd3_block_ascii(std::initializer_list<std::string> fields) {
    std::vector<std::u16string> wide;
    for (const auto& f : fields) wide.emplace_back(f.begin(), f.end());
    return gd3_block(wide);
}

ByteVec gzip(const ByteVec& data) {
    char path[] = "/tmp/vgmtest_gzXXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) throw std::runtime_error("mkstemp");
    close(fd);
    gzFile f = gzopen(path, "wb");
    gzwrite(f, data.data(), static_cast<unsigned>(data.size()));
    gzclose(f);
    FILE* r = std::fopen(path, "rb");
    ByteVec out;
    int c;
    while ((c = std::fgetc(r)) != EOF) out.push_back(static_cast<uint8_t>(c));
    std::fclose(r);
    std::remove(path);
    return out;
}

ByteVec gunzip(const ByteVec& data) {
    char path[] = "/tmp/vgmtest_gzXXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) throw std::runtime_error("mkstemp");
    if (write(fd, data.data(), data.size()) != static_cast<ssize_t>(data.size())) throw std::runtime_error("write");
    close(fd);
    gzFile f = gzopen(path, "rb");
    ByteVec out;
    uint8_t buf[4096];
    int n;
    while ((n = gzread(f, buf, sizeof buf)) > 0) out.insert(out.end(), buf, buf + n);
    gzclose(f);
    std::remove(path);
    return out;
}

}  // namespace testvgm
