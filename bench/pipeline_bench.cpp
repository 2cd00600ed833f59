// Micro-benchmarks of the replay path: where a frame's time goes.

#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <mutex>

#include "decode/parser.h"
#include "io/log_parser.h"
#include "store/filt_store.h"
#include "store/msg_store.h"

namespace {

// The pass-all display filter, as the program starts with.
class PassAll : public FrameFilter {
  public:
    std::mutex& FilterLock() override { return lock; }
    bool Passes(const CANframe&) override { return true; }

  private:
    std::mutex lock;
};

void BM_ParseDataLine(benchmark::State& state) {
    QuillonLogParser parser;
    CANframe frame;
    const char text[] = "   123456 CAN0: 0x00000281 - 0x01 0x02 0x03 0x04 0x05 0x06 0x07 0x08 \n";
    char line[sizeof text];
    for (auto _ : state) {
        std::memcpy(line, text, sizeof text);
        benchmark::DoNotOptimize(parser.Parse(line, frame));
    }
}
BENCHMARK(BM_ParseDataLine);

void BM_StoreAdd(benchmark::State& state) {
    Parser parser;
    MsgStore store(1 << 20);
    store.SetDecoder(&parser);
    CANframe frame;
    frame.length = 8;
    for (auto _ : state) store.Add(frame);
}
BENCHMARK(BM_StoreAdd);

// The same with the filtered view listening, as in the program, with the pass-all filter.
void BM_StoreAddFiltered(benchmark::State& state) {
    Parser parser;
    MsgStore store(1 << 20);
    store.SetDecoder(&parser);
    PassAll filter;
    FiltStore view(store, filter);
    CANframe frame;
    frame.length = 8;
    for (auto _ : state) store.Add(frame);
}
BENCHMARK(BM_StoreAddFiltered);

void BM_ShortDesc(benchmark::State& state) {
    Parser parser;
    CANframe frame;
    frame.length = 8;
    for (auto _ : state) benchmark::DoNotOptimize(parser.GetShortDesc(frame));
}
BENCHMARK(BM_ShortDesc);

}  // namespace

BENCHMARK_MAIN();
