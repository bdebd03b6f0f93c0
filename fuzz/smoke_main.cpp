// Runs a fuzz target without libFuzzer: each round takes a seed the target
// offers (or a byte string of its own), mutates a few bytes, cuts or extends
// it, and calls the target. Deterministic, so a failure repeats.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
// Seeds: well-formed inputs the target knows how to build.
std::vector<std::vector<uint8_t>> fuzz_seeds();

int main(int argc, char** argv) {
    const long rounds = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 10000;
    std::mt19937 rng(12345);
    std::vector<std::vector<uint8_t>> seeds = fuzz_seeds();
    seeds.push_back({});
    for (long i = 0; i < rounds; ++i) {
        std::vector<uint8_t> d = seeds[rng() % seeds.size()];
        const int edits = 1 + static_cast<int>(rng() % 8);
        for (int e = 0; e < edits && !d.empty(); ++e) {
            switch (rng() % 4) {
                case 0: d[rng() % d.size()] = static_cast<uint8_t>(rng()); break;
                case 1: d[rng() % d.size()] ^= static_cast<uint8_t>(1u << (rng() % 8)); break;
                case 2: d.resize(rng() % (d.size() + 1)); break;
                default: {
                    const size_t pos = rng() % d.size();
                    const uint8_t vals[] = {0x00, 0xFF, 0x7F, 0x80, 0x66, 0x67};
                    d[pos] = vals[rng() % 6];
                }
            }
        }
        if (rng() % 16 == 0) d.resize(d.size() + rng() % 64, static_cast<uint8_t>(rng()));
        LLVMFuzzerTestOneInput(d.data(), d.size());
    }
    std::printf("%ld rounds\n", rounds);
    return 0;
}
