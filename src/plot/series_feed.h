#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/tick_ring.h"
#include "decode/frame_values.h"
#include "plot/series_def.h"
#include "plot/trace.h"
#include "store/frame_tally.h"

class Parser;
class Storage;

// The traces of a set of series, fed with the frames of a message store as they are taken in
// (a FrameTally): an object's value from each PDO frame carrying it and each SDO transfer of it
// that completes; and every 100 ms of the frames' time, each rate, load and error count over the
// second before. O(1) per frame for the counts; frames that carry a traced object are decoded
// once for all the traces.
//
// Threads: frames are counted on the adding thread, the traces are read by the window and the
// printers. `lock` guards the series and their traces; a run holds it throughout (lock order:
// the message store's, then this). Readers take it with Hold() for as long as they read traces.
class SeriesFeed : public FrameTally {
  public:
    static constexpr size_t kMaxSeries = 8;
    static constexpr int64_t kTick = 100000;  // microseconds between counted points
    static constexpr int kTicksPerSecond = 10;
    static constexpr int kDefaultBitRate = 500000;

    // A change of the values: at time, the current value of every series (NaN: none yet), and
    // which of them changed.
    using RowSink = std::function<void(int64_t time, const std::vector<double>& values,
                                       const std::vector<bool>& changed)>;

    // decoder: describes the frames that carry traced objects (null: objects get no values).
    explicit SeriesFeed(Parser* decoder) : decoder(decoder) {}
    // The decoder replaced (the session's decoding mode changed, and the store was cleared).
    void SetDecoder(Parser* replacement);
    SeriesFeed(const SeriesFeed&) = delete;
    SeriesFeed& operator=(const SeriesFeed&) = delete;

    // A new series, counted from the next frame on; its index, or -1 when kMaxSeries are
    // traced. bitRate: what load is a share of.
    int Add(const SeriesDef& def, int bitRate = kDefaultBitRate);
    void Remove(int series);
    // Computes series's values from every frame store still holds, then counts it as frames
    // arrive (GUI or main thread; the store's additions may go on meanwhile). progress is called
    // between batches without any lock held, with the share done; it returns false to stop,
    // which leaves the series without its history.
    void Backfill(int series, Storage& store, const std::function<bool(double)>& progress);
    void SetRowSink(RowSink sink) { rowSink = std::move(sink); }

    void RunStarts() override;
    void Count(StoreIndex index, const CANframe& frame) override;
    void RunEnds() override;
    void Restart() override;
    void Joined(StoreIndex next) override;

    // Held while the traces are read.
    std::unique_lock<std::mutex> Hold() { return std::unique_lock<std::mutex>(lock); }
    size_t Size() const { return series.size(); }
    const SeriesDef& Def(size_t i) const { return series[i]->def; }
    const Trace& TraceOf(size_t i) const { return *series[i]->trace; }
    // Drawn as steps: counts, booleans and integers of up to 16 bits (states, bit fields).
    bool Steps(size_t i) const { return series[i]->steps; }
    // "%", "frames/s", or the object's data type.
    const std::string& Unit(size_t i) const { return series[i]->unit; }

  private:
    // Frames per 100 ms over the last second, ring of ten.
    struct Series {
        SeriesDef def;
        int bitRate = kDefaultBitRate;
        bool steps = false;
        std::string unit;
        std::unique_ptr<Trace> trace = std::make_unique<Trace>();
        TickRing<double, kTicksPerSecond> buckets;  // what each 100 ms tick added
        double last = 0;
        bool have = false;
        bool pending = false;  // its history is computed (Backfill): not counted meanwhile
    };
    // What decoding a frame for its values needs: the live feed's own, or a backfill's.
    struct Scratch {
        FrameValues values;
        // Per port and identifier: the PDO stamp last looked at, and whether a target needs it.
        std::unordered_map<uint64_t, std::pair<uint32_t, bool>> pdoCache;
        bool rows = false;  // make rows for the sink (the live feed's, lock held)
        // The last 100 ms step points were made for, the same for every series of the feed so
        // that rows come in time order.
        int64_t emittedTick = -1;
    };
    // What a frame adds to targets: values of objects, counts; points at the ticks it passes.
    void Feed(const CANframe& frame, const std::vector<Series*>& targets, Scratch& scratch);
    void Ticks(int64_t tick, const std::vector<Series*>& targets, Scratch& scratch);
    void Value(Series& s, int64_t time, double value, bool rows);
    bool Decodes(const CANframe& frame, const std::vector<Series*>& targets, Scratch& scratch);
    void Row();
    // counted anew from series: those not pending.
    void Counted();

    Parser* decoder;
    std::mutex lock;
    std::vector<std::unique_ptr<Series>> series;
    std::vector<Series*> counted;  // the series counted as frames arrive
    RowSink rowSink;
    std::vector<bool> changed;  // of the row being made
    bool rowPending = false;
    int64_t rowTime = 0;
    StoreIndex nextIndex = 0;  // the store index the next counted frame will have
    uint64_t restarts = 0;     // Restart calls, so that a Backfill knows its store was cleared
    Scratch live;
};
