// Reading the largest real EDS file at hand (about 1,100 sections) and looking names up in it,
// as SDO decoding does for every frame it names.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include "decode/obj_dict.h"

namespace {

const std::string kEds = std::string(SHARED_DATA_DIR) + "/python-canopen/e35.eds";

void BM_LoadEds(benchmark::State& state) {
    if (!std::filesystem::exists(kEds)) {
        state.SkipWithError("no shared test data");
        return;
    }
    size_t objects = 0;
    for (auto _ : state) {
        CANopenObjDict dict;
        dict.Load(kEds, nullptr);
        objects = dict.Count();
    }
    state.counters["objects"] = static_cast<double>(objects);
}
BENCHMARK(BM_LoadEds)->Unit(benchmark::kMillisecond);

void BM_LookupNames(benchmark::State& state) {
    EdsList dictionaries;
    CANopenObjDict* dict = dictionaries.LoadEDS(kEds);
    if (!dict) {
        state.SkipWithError("no shared test data");
        return;
    }
    // Keys present and missing, spread over the dictionary.
    std::vector<uint32_t> keys;
    for (uint32_t index = 0x1000; index < 0x7000; index += 0x35)
        for (uint32_t sub = 0; sub < 4; sub++) keys.push_back(index << 16 | sub);
    dict->getInfo(keys[0]);  // missing keys become entries once
    for (uint32_t key : keys) dict->getInfo(key);
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(dict->getInfo(keys[i])->name.size());
        if (++i == keys.size()) i = 0;
    }
    state.counters["lookups/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LookupNames);

}  // namespace

BENCHMARK_MAIN();
