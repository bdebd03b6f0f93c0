// The WAVE reader over arbitrary bytes: the data it finds starts inside the
// file, the peak is a 16-bit magnitude, and its report stays in range.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "bexolt.h"
#include "vgm/bytes.h"
#include "wave.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const vgm::Bytes file(data, size);
    const bexolt::WaveData w = bexolt::find_wave_data(file);
    if ((w.status == bexolt::WaveStatus::Ok) != (bexolt::wave_message(w.status) == nullptr)) std::abort();
    if (w.status != bexolt::WaveStatus::Ok) return 0;
    if (w.pos < 44 - 8 || w.pos > size) std::abort();
    const uint16_t peak = bexolt::wave_peak(file, w.pos, w.size);
    if (peak > 0x8000) std::abort();
    if (peak == 0) return 0;
    for (float volume : {0.1f, 100.0f, -3.0f}) {
        const bexolt::Level l = bexolt::level_for(peak, volume);
        if (!(l.factor >= 0.25f && l.factor <= 64.0f)) std::abort();
    }
    // At volume 1 no peak needs less than unity gain: 0x00 up to 0xC0.
    const bexolt::Level unity = bexolt::level_for(peak, 1.0f);
    if (unity.factor < 1.0f || unity.volmod > 0xC0) std::abort();
    return 0;
}

std::vector<std::vector<uint8_t>> fuzz_seeds() {
    std::vector<uint8_t> v = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0,
                              1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0, 16, 0,
                              'f', 'a', 'c', 't', 4, 0, 0, 0, 2, 0, 0, 0,
                              'd', 'a', 't', 'a', 8, 0, 0, 0, 0x00, 0x40, 0x00, 0x80, 0xFF, 0x7F, 0x01, 0x00};
    vgm::store_le32(v, 4, static_cast<uint32_t>(v.size() - 8));
    return {v};
}
