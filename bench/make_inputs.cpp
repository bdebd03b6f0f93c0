// make_inputs: writes large, realistic input files for the benchmark
// (scripts/bench.sh). Every kind of input is one generator function below and
// one line of the kinds table at the end; the streams are pseudo-random but
// fixed by the seed, so two runs with the same size write the same bytes.
//
//   make_inputs --list                 the kinds, one per line: name and extension
//   make_inputs <kind> <bytes> <file>  writes about <bytes> bytes of that kind
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// xorshift64*: fast, and the same sequence everywhere.
class Rng {
public:
    explicit Rng(uint64_t seed) : s_(seed ? seed : 1) {}
    uint32_t next() {
        s_ ^= s_ >> 12;
        s_ ^= s_ << 25;
        s_ ^= s_ >> 27;
        return static_cast<uint32_t>((s_ * 0x2545F4914F6CDD1DULL) >> 32);
    }
    uint32_t below(uint32_t n) { return next() % n; }
    bool chance(uint32_t percent) { return below(100) < percent; }

private:
    uint64_t s_;
};

using Buf = std::vector<uint8_t>;

void put8(Buf& b, uint32_t v) { b.push_back(static_cast<uint8_t>(v)); }
void put16(Buf& b, uint32_t v) {
    put8(b, v);
    put8(b, v >> 8);
}
void put32(Buf& b, uint32_t v) {
    put16(b, v);
    put16(b, v >> 16);
}
void put_text(Buf& b, const char* s) {
    while (*s) put8(b, static_cast<uint8_t>(*s++));
}
void set32(Buf& b, size_t off, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[off + i] = static_cast<uint8_t>(v >> (8 * i));
}
void cmd3(Buf& b, uint8_t op, uint32_t reg, uint32_t val) {
    put8(b, op);
    put8(b, reg);
    put8(b, val);
}

// A VGM file under construction: a 1.51 header of 128 bytes, the stream, the
// sample count and the loop point, and a GD3 tag behind the stream.
class Vgm {
public:
    Vgm() : b(0x80, 0) {
        std::memcpy(b.data(), "Vgm ", 4);
        set32(b, 0x08, 0x151);
        set32(b, 0x34, 0x80 - 0x34);
    }
    void clock(size_t off, uint32_t hz) { set32(b, off, hz); }
    void wait(uint32_t n) {
        samples += n;
        while (n > 0) {
            const uint32_t c = n > 0xFFFF ? 0xFFFF : n;
            if (c == 735) {
                put8(b, 0x62);
            } else if (c == 882) {
                put8(b, 0x63);
            } else if (c <= 16) {
                put8(b, 0x70 + c - 1);
            } else {
                put8(b, 0x61);
                put16(b, c);
            }
            n -= c;
        }
    }
    void loop_here() {
        loop_at = b.size();
        loop_samples_from = samples;
    }
    // Ends the stream, appends the tag and fills in the header.
    Buf finish() {
        put8(b, 0x66);
        const size_t gd3 = b.size();
        Buf tag;
        const char* fields[] = {"Benchmark Track", "", "Benchmark", "", "Bench Machine", "", "tundrel", "",
                                "2026", "make_inputs", ""};
        for (const char* f : fields) {
            for (const char* p = f; *p; ++p) put16(tag, static_cast<uint8_t>(*p));
            put16(tag, 0);
        }
        put_text(b, "Gd3 ");
        put32(b, 0x100);
        put32(b, static_cast<uint32_t>(tag.size()));
        b.insert(b.end(), tag.begin(), tag.end());
        set32(b, 0x04, static_cast<uint32_t>(b.size() - 4));
        set32(b, 0x14, static_cast<uint32_t>(gd3 - 0x14));
        set32(b, 0x18, samples);
        if (loop_at) {
            set32(b, 0x1C, static_cast<uint32_t>(loop_at - 0x1C));
            set32(b, 0x20, samples - loop_samples_from);
        }
        return std::move(b);
    }

    Buf b;
    uint32_t samples = 0;
    size_t loop_at = 0;
    uint32_t loop_samples_from = 0;
};

// YM2612 + SN76496, as a Mega Drive rip: a DAC sample bank up front, then per
// 60 Hz frame a handful of FM writes (frequencies, levels, panning, key on and
// off), PSG tone and volume writes, and either DAC playback (0x8n writes that
// wait n samples, with 0xE0 seeks into the bank) or plain waits, with the odd
// one-sample wait between writes.
Buf gen_sega(uint64_t size, Rng& r) {
    Vgm v;
    v.clock(0x0C, 3579545);
    v.clock(0x2C, 7670453);
    set32(v.b, 0x24, 60);
    v.b[0x28] = 0x09;
    v.b[0x2A] = 16;
    constexpr uint32_t kBank = 1 << 16;
    put8(v.b, 0x67);
    put8(v.b, 0x66);
    put8(v.b, 0x00);
    put32(v.b, kBank);
    for (uint32_t i = 0; i < kBank; ++i) put8(v.b, 0x80 + static_cast<int>(r.below(64)) - 32);
    v.loop_here();
    while (v.b.size() < size) {
        for (int i = 0, n = 4 + static_cast<int>(r.below(10)); i < n; ++i) {
            const uint8_t port = 0x52 + r.below(2);
            const uint32_t ch = r.below(3);
            switch (r.below(6)) {
                case 0: cmd3(v.b, port, 0xA4 + ch, r.below(0x40)); cmd3(v.b, port, 0xA0 + ch, r.next()); break;
                case 1: cmd3(v.b, port, 0x40 + 4 * r.below(4) + ch, r.below(0x80)); break;
                case 2:
                    // Panning changes seldom, mostly to one side.
                    if (r.chance(5)) cmd3(v.b, port, 0xB4 + ch, 0x40 * (1 + r.below(3)) | r.below(0x40));
                    break;
                case 3: cmd3(v.b, 0x52, 0x28, (r.chance(60) ? 0xF0 : 0x00) | (r.below(2) << 2) | ch); break;
                case 4: cmd3(v.b, port, 0x30 + r.below(0x60), r.next()); break;
                default: put8(v.b, 0x50); put8(v.b, 0x80 | (r.below(8) << 4) | r.below(16)); put8(v.b, 0x50); put8(v.b, r.below(0x40)); break;
            }
            if (r.chance(8)) v.wait(1);
        }
        if (r.chance(45)) {
            // DAC playback through the frame at about 8 kHz.
            put8(v.b, 0xE0);
            put32(v.b, r.below(kBank - 2048));
            uint32_t left = 735;
            while (left > 0) {
                const uint32_t step = 5 + r.below(2);
                const uint32_t n = left < step ? left : step;
                put8(v.b, 0x80 + n);
                v.samples += n;
                left -= n;
            }
        } else if (r.chance(70)) {
            v.wait(735);
        } else {
            const uint32_t n = 1 + r.below(735);
            v.wait(n);
            if (r.chance(50)) cmd3(v.b, 0x52, 0x28, r.below(3));
            v.wait(735 - n);
        }
    }
    return v.finish();
}

// OPL register writes of a typical tracker replay: per tick, a few channels
// get frequency, key and level writes. With a second command byte, every
// write goes to the second chip right after the first, the same but for
// the odd detuned frequency (two OPL2s played as one, louder or wider).
void opl_write(Buf& b, Rng& r, uint8_t op, uint8_t second, uint32_t reg, uint32_t val) {
    cmd3(b, op, reg, val);
    if (second) cmd3(b, second, reg, (reg & 0xF0) == 0xA0 && r.chance(2) ? val + 1 : val);
}
void opl_tick(Buf& b, Rng& r, uint8_t op, uint8_t second = 0) {
    for (int i = 0, n = 2 + static_cast<int>(r.below(8)); i < n; ++i) {
        const uint32_t ch = r.below(9);
        switch (r.below(5)) {
            case 0:
                opl_write(b, r, op, second, 0xA0 + ch, r.next() & 0xFF);
                opl_write(b, r, op, second, 0xB0 + ch, (r.below(2) << 5) | r.below(0x20));
                break;
            case 1: opl_write(b, r, op, second, 0x40 + r.below(0x16), r.below(0x40)); break;
            case 2: opl_write(b, r, op, second, 0xC0 + ch, 0x30 | r.below(16)); break;
            case 3:
                opl_write(b, r, op, second, 0x20 + r.below(0x16), r.next() & 0xFF);
                opl_write(b, r, op, second, 0x60 + r.below(0x16), r.next() & 0xFF);
                break;
            default: opl_write(b, r, op, second, 0xE0 + r.below(0x16), r.below(4)); break;
        }
    }
}

// Two YM3812s (bit 30 of the clock) that receive the same writes.
Buf gen_dual(uint64_t size, Rng& r) {
    Vgm v;
    v.clock(0x50, 3579545 | 0x40000000);
    cmd3(v.b, 0x5A, 0x01, 0x20);
    cmd3(v.b, 0xAA, 0x01, 0x20);
    v.loop_here();
    while (v.b.size() < size) {
        opl_tick(v.b, r, 0x5A, 0xAA);
        if (r.chance(10)) v.wait(1);
        v.wait(r.chance(20) ? 1 + r.below(16) : 367 + r.below(368));
    }
    return v.finish();
}

// One YMF262, both ports.
Buf gen_opl3(uint64_t size, Rng& r) {
    Vgm v;
    v.clock(0x5C, 14318180);
    cmd3(v.b, 0x5F, 0x05, 0x01);
    cmd3(v.b, 0x5F, 0x04, 0x00);
    v.loop_here();
    while (v.b.size() < size) {
        opl_tick(v.b, r, 0x5E);
        if (r.chance(10)) v.wait(1);
        opl_tick(v.b, r, 0x5F);
        v.wait(r.chance(20) ? 1 + r.below(16) : 735);
    }
    return v.finish();
}

// A DRO version 2 capture of an OPL3: a code map of the registers in use,
// register/value pairs, and delay codes between ticks.
Buf gen_dro(uint64_t size, Rng& r) {
    Buf b;
    put_text(b, "DBRAWOPL");
    put16(b, 2);  // version 2.0
    put16(b, 0);
    put32(b, 0);  // pairs, set at the end
    put32(b, 0);  // milliseconds, set at the end
    Buf map;
    for (uint32_t reg : {0x01u, 0x04u, 0x05u, 0x08u, 0xBDu}) map.push_back(static_cast<uint8_t>(reg));
    for (uint32_t base : {0x20u, 0x40u, 0x60u, 0x80u})
        for (uint32_t i = 0; i < 0x16; ++i) map.push_back(static_cast<uint8_t>(base + i));
    for (uint32_t base : {0xA0u, 0xB0u, 0xC0u})
        for (uint32_t i = 0; i < 9; ++i) map.push_back(static_cast<uint8_t>(base + i));
    // The delay codes follow the map (120 entries), below the codes of bank 1.
    const uint8_t short_code = static_cast<uint8_t>(map.size());
    const uint8_t long_code = short_code + 1;
    put8(b, 2);  // OPL3
    put8(b, 0);
    put8(b, 0);
    put8(b, short_code);
    put8(b, long_code);
    put8(b, static_cast<uint8_t>(map.size()));
    b.insert(b.end(), map.begin(), map.end());
    uint32_t ms = 0;
    while (b.size() < size) {
        for (int i = 0, n = 2 + static_cast<int>(r.below(12)); i < n; ++i) {
            put8(b, (r.below(2) << 7) | r.below(static_cast<uint32_t>(map.size())));
            put8(b, r.next());
        }
        const uint32_t d = r.chance(3) ? 256 * (1 + r.below(2)) : 1 + r.below(20);
        if (d >= 256) {
            put8(b, long_code);
            put8(b, d / 256 - 1);
        } else {
            put8(b, short_code);
            put8(b, d - 1);
        }
        ms += d;
    }
    // End on a register write, so the capture's length matches its writes.
    put8(b, 0x00);
    put8(b, 0x00);
    set32(b, 12, static_cast<uint32_t>((b.size() - 26 - map.size()) / 2));
    set32(b, 16, ms);
    return b;
}

// An IMF file of type 0 (no header: the first entry is all zero), OPL2
// writes with a delay in ticks after some of them.
Buf gen_imf(uint64_t size, Rng& r) {
    Buf b;
    put32(b, 0);
    while (b.size() < size) {
        const uint32_t ch = r.below(9);
        switch (r.below(4)) {
            case 0: put8(b, 0xA0 + ch); break;
            case 1: put8(b, 0xB0 + ch); break;
            case 2: put8(b, 0x40 + r.below(0x16)); break;
            default: put8(b, 0x20 + r.below(0xD6)); break;
        }
        put8(b, r.next());
        put16(b, r.chance(25) ? 1 + r.below(12) : 0);
    }
    return b;
}

// A RAW OPL capture: the signature, the clock divisor, and (data, register)
// pairs: delays (register 0), writes to two chips selected by control codes
// (register 2), and the odd change of the clock divisor.
Buf gen_raw(uint64_t size, Rng& r) {
    Buf b;
    put_text(b, "RAWADATA");
    put16(b, 0x04A9);
    while (b.size() < size) {
        for (int i = 0, n = 2 + static_cast<int>(r.below(10)); i < n; ++i) {
            put8(b, r.next());
            put8(b, 0x20 + r.below(0xD6));
        }
        if (r.chance(5)) {
            put8(b, 1 + r.below(2));
            put8(b, 0x02);
        }
        if (r.chance(1)) {
            put8(b, 0x00);
            put8(b, 0x02);
            put16(b, 0x0400 + r.below(0x200));
        }
        put8(b, 1 + r.below(40));
        put8(b, 0x00);
    }
    return b;
}

// RF5C164 + YM2612, as a CD-audio-less Mega CD rip: a library of a few
// hundred samples (sign-magnitude bytes ending in 0xFF) uploaded again and
// again into PCM memory at varying places, with a fresh one now and then, half of the time one memory write (0xC2) per byte through 4 KiB
// bank windows with the odd wait and FM write between, half of the time as
// RAM-write blocks (0x67 type 0xC1) of a few hundred bytes, then channel
// registers (0xB1) set up to play it and a frame or two of waits.
Buf gen_rfpcm(uint64_t size, Rng& r) {
    Vgm v;
    v.clock(0x2C, 7670453);
    v.clock(0x6C, 12500000);
    set32(v.b, 0x24, 60);
    auto make_sample = [&r] {
        Buf s(64 + r.below(4096 - 64));
        uint32_t level = 0;
        for (uint8_t& x : s) {
            level = (level + r.below(9) + 60) % 127;
            x = static_cast<uint8_t>((r.chance(50) ? 0x80 : 0x00) | level);
        }
        s.back() = 0xFF;
        return s;
    };
    std::vector<Buf> samples(300);
    for (Buf& s : samples) s = make_sample();
    cmd3(v.b, 0xB1, 0x07, 0xC0);  // chip on
    v.loop_here();
    Buf fresh = make_sample();
    while (v.b.size() < size) {
        if (r.chance(10)) fresh = make_sample();
        const Buf& s = r.chance(10) ? fresh : samples[r.below(static_cast<uint32_t>(samples.size()))];
        const uint32_t ch = r.below(8);
        // Each channel owns 8 KiB of the 64, and places a sample at one of
        // a few offsets in it.
        const uint32_t start = ch * 0x2000 + 0x100 * r.below(16);
        if (r.chance(50)) {
            for (uint32_t i = 0; i < s.size(); ++i) {
                const uint32_t addr = start + i;
                if (i == 0 || (addr & 0xFFF) == 0) cmd3(v.b, 0xB1, 0x07, 0x80 | (addr >> 12));
                put8(v.b, 0xC2);
                put16(v.b, addr & 0xFFF);
                put8(v.b, s[i]);
                if (r.chance(1)) v.wait(1 + r.below(20));
                if (r.chance(1)) cmd3(v.b, 0x52, 0x30 + r.below(0x60), r.next());
            }
        } else {
            cmd3(v.b, 0xB1, 0x07, 0x80);
            for (uint32_t i = 0; i < s.size();) {
                const uint32_t n = std::min<uint32_t>(static_cast<uint32_t>(s.size()) - i, 256 + r.below(768));
                put8(v.b, 0x67);
                put8(v.b, 0x66);
                put8(v.b, 0xC1);
                put32(v.b, n + 2);
                put16(v.b, start + i);
                v.b.insert(v.b.end(), s.begin() + i, s.begin() + i + n);
                i += n;
                if (r.chance(20)) v.wait(1 + r.below(30));
            }
        }
        cmd3(v.b, 0xB1, 0x07, 0xC0 | ch);
        for (uint32_t reg = 0; reg <= 6; ++reg) cmd3(v.b, 0xB1, reg, reg == 6 ? start >> 8 : r.below(256));
        cmd3(v.b, 0xB1, 0x08, static_cast<uint8_t>(~(1u << ch)));
        v.wait(735 * (1 + r.below(2)));
    }
    return v.finish();
}

// Sample data for DAC streams, as a rip with large drum and voice banks:
// stream set-up up front, then stream-data blocks of 32-256 KiB whose values
// compress (a few levels around the centre, levels on a coarse grid, a
// handful of scattered levels, and 12-bit words of type 0x03), each followed
// by frames of FM writes that start streams and wait.
Buf gen_blocks(uint64_t size, Rng& r) {
    Vgm v;
    v.clock(0x2C, 7670453);
    const uint8_t setup[] = {0x90, 0x00, 0x02, 0x00, 0x2A, 0x91, 0x00, 0x00, 0x01, 0x00,
                             0x92, 0x00, 0x40, 0x1F, 0x00, 0x00};
    v.b.insert(v.b.end(), setup, setup + sizeof setup);
    v.loop_here();
    uint8_t scattered[12];
    for (uint8_t& x : scattered) x = static_cast<uint8_t>(r.next());
    while (v.b.size() < size) {
        const uint32_t kind = r.below(4);
        const uint32_t len = (32u << 10) + r.below(224u << 10);
        put8(v.b, 0x67);
        put8(v.b, 0x66);
        put8(v.b, kind == 3 ? 0x03 : 0x00);
        put32(v.b, len & ~1u);
        for (uint32_t i = 0; i < len / 2; ++i) {
            switch (kind) {
                case 0: put8(v.b, 0x78 + r.below(16)); put8(v.b, 0x78 + r.below(16)); break;
                case 1: put8(v.b, r.below(16) << 4); put8(v.b, r.below(16) << 4); break;
                case 2: put8(v.b, scattered[r.below(12)]); put8(v.b, scattered[r.below(12)]); break;
                default: put16(v.b, 0x700 + r.below(512)); break;
            }
        }
        for (int f = 0, n = 2 + static_cast<int>(r.below(6)); f < n; ++f) {
            for (int i = 0, w = 2 + static_cast<int>(r.below(6)); i < w; ++i)
                cmd3(v.b, 0x52 + r.below(2), 0x30 + r.below(0x90), r.next());
            put8(v.b, 0x93);
            put8(v.b, 0x00);
            put32(v.b, r.below(len / 2));
            put8(v.b, 0x01);
            put32(v.b, 1 + r.below(2048));
            v.wait(735);
        }
    }
    return v.finish();
}

// YM2612 with its DAC driven by stream commands, as a rip of a sample-heavy
// soundtrack: most of the file is sample data (samples of 2-32 KB, several
// to a data block), then per frame a few FM writes and, often, a sample
// started on one of two streams. Each start repeats the stream's set-up and
// data commands unchanged; stream 0 changes its frequency between a few
// rates, stream 1 never does. Every start names one whole sample.
Buf gen_dac(uint64_t size, Rng& r) {
    Vgm v;
    v.clock(0x2C, 7670453);
    set32(v.b, 0x24, 60);
    struct Sample {
        uint32_t start, length;
    };
    std::vector<Sample> samples;
    const uint64_t bank_target = size * 3 / 5;
    uint32_t bank = 0;
    while (bank < bank_target) {
        // One block of a few samples.
        Buf payload;
        for (int i = 0, n = 1 + static_cast<int>(r.below(6)); i < n && bank + payload.size() < bank_target; ++i) {
            const uint32_t len = 2048 + r.below(30 * 1024);
            samples.push_back({bank + static_cast<uint32_t>(payload.size()), len});
            for (uint32_t k = 0; k < len; ++k) put8(payload, 0x80 + static_cast<int>(r.below(64)) - 32);
        }
        put8(v.b, 0x67);
        put8(v.b, 0x66);
        put8(v.b, 0x00);
        put32(v.b, static_cast<uint32_t>(payload.size()));
        v.b.insert(v.b.end(), payload.begin(), payload.end());
        bank += static_cast<uint32_t>(payload.size());
    }
    const uint32_t rates[] = {8000, 11025, 16000, 22050};
    v.loop_here();
    while (v.b.size() < size) {
        for (int i = 0, n = 2 + static_cast<int>(r.below(6)); i < n; ++i)
            cmd3(v.b, 0x52 + r.below(2), 0x30 + r.below(0x80), r.next());
        if (r.chance(60)) {
            const uint8_t ss = static_cast<uint8_t>(r.below(2));
            const Sample& smp = samples[r.below(static_cast<uint32_t>(samples.size()))];
            put8(v.b, 0x90), put8(v.b, ss), put8(v.b, 0x02), put8(v.b, 0x00), put8(v.b, 0x2A);
            put8(v.b, 0x91), put8(v.b, ss), put8(v.b, 0x00), put8(v.b, 0x01), put8(v.b, 0x00);
            put8(v.b, 0x92), put8(v.b, ss), put32(v.b, ss == 0 ? rates[r.below(4)] : 16000);
            put8(v.b, 0x93), put8(v.b, ss), put32(v.b, smp.start), put8(v.b, r.chance(5) ? 0x81 : 0x01);
            put32(v.b, smp.length);
        } else if (r.chance(10)) {
            put8(v.b, 0x94), put8(v.b, static_cast<uint8_t>(r.below(2)));
        }
        v.wait(735);
    }
    return v.finish();
}

struct Kind {
    const char* name;
    const char* ext;
    Buf (*make)(uint64_t size, Rng& r);
};

// To add an input kind: write its generator above and add one line here.
constexpr Kind kKinds[] = {
    {"sega", "vgm", gen_sega},
    {"dual", "vgm", gen_dual},
    {"opl3", "vgm", gen_opl3},
    {"dro", "dro", gen_dro},
    {"imf", "imf", gen_imf},
    {"raw", "raw", gen_raw},
    {"rfpcm", "vgm", gen_rfpcm},
    {"blocks", "vgm", gen_blocks},
    {"dac", "vgm", gen_dac},
};

int usage() {
    std::fprintf(stderr, "usage: make_inputs --list | make_inputs <kind> <bytes> <file>\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--list") == 0) {
        for (const Kind& k : kKinds) std::printf("%s %s\n", k.name, k.ext);
        return 0;
    }
    if (argc != 4) return usage();
    const Kind* kind = nullptr;
    for (const Kind& k : kKinds)
        if (std::strcmp(k.name, argv[1]) == 0) kind = &k;
    if (!kind) {
        std::fprintf(stderr, "make_inputs: unknown kind %s\n", argv[1]);
        return usage();
    }
    char* end = nullptr;
    const unsigned long long size = std::strtoull(argv[2], &end, 10);
    if (!end || *end != '\0' || size == 0) return usage();
    uint64_t seed = 0xCBF29CE484222325ULL;  // FNV-1a of the kind's name
    for (const char* c = kind->name; *c; ++c) seed = (seed ^ static_cast<uint8_t>(*c)) * 0x100000001B3ULL;
    Rng rng(seed);
    const Buf data = kind->make(size, rng);
    FILE* f = std::fopen(argv[3], "wb");
    if (!f || std::fwrite(data.data(), 1, data.size(), f) != data.size() || std::fclose(f) != 0) {
        std::fprintf(stderr, "make_inputs: cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
