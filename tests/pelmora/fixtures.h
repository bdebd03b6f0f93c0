// Building blocks for the pelmora tests: RF and SCSP commands as bytes, a
// console whose output the test reads back, and loaded images of fixtures.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "vgm/console.h"
#include "vgm/loader.h"
#include "vgm_builder.h"

namespace pelfix {

using testvgm::ByteVec;

constexpr uint32_t kRf5c68Clock = 12500000;
constexpr uint32_t kRf5c164Clock = 12500000;
constexpr uint32_t kScspClock = 22579200;

inline ByteVec cat(std::initializer_list<ByteVec> parts) {
    ByteVec v;
    for (const ByteVec& p : parts) v.insert(v.end(), p.begin(), p.end());
    return v;
}

inline void put_le(ByteVec& v, uint32_t x, int n) {
    for (int i = 0; i < n; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
}

// 0x67 0x66 tt ss ss ss ss and the payload.
inline ByteVec block(uint8_t type, const ByteVec& payload) {
    ByteVec v{0x67, 0x66, type};
    put_le(v, static_cast<uint32_t>(payload.size()), 4);
    v.insert(v.end(), payload.begin(), payload.end());
    return v;
}

// A RAM-write block: 16-bit start for types 0xC0-0xDF, 32-bit for 0xE0-0xFF.
inline ByteVec ram(uint8_t type, uint32_t start, const ByteVec& data) {
    const size_t width = type >= 0xE0 ? 4 : 2;
    ByteVec p(width + data.size());
    for (size_t i = 0; i < width; ++i) p[i] = static_cast<uint8_t>(start >> (8 * i));
    std::copy(data.begin(), data.end(), p.begin() + static_cast<ptrdiff_t>(width));
    return block(type, p);
}

// A memory write 0xC1 / 0xC2 ll hh dd.
inline ByteVec mem(uint8_t op, uint16_t offset, uint8_t value) {
    return {op, static_cast<uint8_t>(offset), static_cast<uint8_t>(offset >> 8), value};
}

// Memory writes of `data` to consecutive offsets from `offset`, with an
// optional wait command between them.
inline ByteVec mem_run(uint8_t op, uint16_t offset, const ByteVec& data, const ByteVec& between = {}) {
    ByteVec v;
    for (size_t i = 0; i < data.size(); ++i) {
        if (i > 0) v.insert(v.end(), between.begin(), between.end());
        const ByteVec w = mem(op, static_cast<uint16_t>(offset + i), data[i]);
        v.insert(v.end(), w.begin(), w.end());
    }
    return v;
}

// 0x68 0x66 tt rr rr rr ww ww ww nn nn nn.
inline ByteVec pcm_write(uint8_t bank, uint32_t read, uint32_t write, uint32_t count) {
    ByteVec v{0x68, 0x66, bank};
    put_le(v, read, 3);
    put_le(v, write, 3);
    put_le(v, count, 3);
    return v;
}

inline ByteVec wait61(uint16_t n) { return {0x61, static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8)}; }

// `n` bytes that differ from those of another `seed` (and never repeat a
// short prefix by accident).
inline ByteVec pattern(size_t n, uint32_t seed) {
    ByteVec v(n);
    uint32_t x = seed * 2654435761u + 12345;
    for (auto& b : v) {
        x = x * 1103515245u + 12345;
        b = static_cast<uint8_t>(x >> 16);
    }
    return v;
}

// A console writing into memory; text() gives what was printed.
class CapturedConsole {
public:
    CapturedConsole() {
        con.out = std::tmpfile();
        con.in = nullptr;
    }
    ~CapturedConsole() { std::fclose(con.out); }
    CapturedConsole(const CapturedConsole&) = delete;
    CapturedConsole& operator=(const CapturedConsole&) = delete;

    std::string text() {
        std::fflush(con.out);
        std::string s;
        std::rewind(con.out);
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, con.out)) > 0) s.append(buf, n);
        return s;
    }

    vgm::Console con;
};

inline vgm::VgmImage load(const ByteVec& file) {
    auto img = vgm::image_from_bytes(file, vgm::FixupProfile::ShortOld150);
    return img ? *img : vgm::VgmImage{};
}

}  // namespace pelfix
