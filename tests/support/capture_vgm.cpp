#include "capture_vgm.h"

#include <cstdio>

namespace testvgm {

uint32_t le32_at(const ByteVec& b, size_t off) {
    if (off + 4 > b.size()) return 0;
    return b[off] | (b[off + 1] << 8) | (b[off + 2] << 16) | (static_cast<uint32_t>(b[off + 3]) << 24);
}

static void add_token(std::string& script, const std::string& token) {
    if (!script.empty()) script += ' ';
    script += token;
}

CaptureVgm read_capture_vgm(const ByteVec& file) {
    CaptureVgm r;
    if (file.size() < 0x81) {
        r.error = "shorter than header + end command";
        return r;
    }
    if (le32_at(file, 0) != 0x206D6756) r.error = "signature";
    if (le32_at(file, 8) != 0x151) r.error = "version";
    if (le32_at(file, 0x34) != 0x4C) r.error = "data offset";
    if (le32_at(file, 4) != file.size() - 4) r.error = "EOF offset";
    if (!r.error.empty()) return r;
    size_t pos = 0x80;
    uint64_t pending = 0;
    auto flush_wait = [&] {
        if (pending) {
            char tok[24];
            std::snprintf(tok, sizeof tok, "w%llu", static_cast<unsigned long long>(pending));
            add_token(r.script, tok);
        }
        pending = 0;
    };
    while (pos < file.size()) {
        const uint8_t c = file[pos];
        if (c == 0x66) {
            if (pos + 1 != file.size()) r.error = "bytes after the end command";
            flush_wait();
            return r;
        }
        if (pos + 3 > file.size()) {
            r.error = "command cut short";
            return r;
        }
        if (c == 0x61) {
            const uint32_t n = file[pos + 1] | (file[pos + 2] << 8);
            if (n == 0) r.error = "empty wait";
            r.waits.push_back(n);
            r.samples += n;
            pending += n;
        } else if (c == 0x5A || c == 0xAA || c == 0x5E || c == 0x5F) {
            flush_wait();
            r.writes.push_back({c, file[pos + 1], file[pos + 2]});
            char tok[16];
            std::snprintf(tok, sizeof tok, "%02X:%02X=%02X", c, file[pos + 1], file[pos + 2]);
            add_token(r.script, tok);
        } else {
            r.error = "unexpected command " + std::to_string(c);
            return r;
        }
        pos += 3;
    }
    r.error = "no end command";
    return r;
}

}  // namespace testvgm
