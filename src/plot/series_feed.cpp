#include "plot/series_feed.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "decode/canopen_parser.h"
#include "decode/cob_ids.h"
#include "decode/pdo_routes.h"
#include "store/storage.h"

namespace {

constexpr int kBackfillBatch = 4096;
// Bits of a frame on the bus besides its data, stuffing not counted: as the port readers count
// the load.
constexpr int kStandardFrameBits = 48;
constexpr int kExtendedFrameBits = 68;
const double kNone = std::numeric_limits<double>::quiet_NaN();

bool Same(double a, double b) {
    return a == b || (std::isnan(a) && std::isnan(b));
}

}  // namespace

int SeriesFeed::Add(const SeriesDef& def, int bitRate) {
    std::lock_guard<std::mutex> hold(lock);
    if (series.size() >= kMaxSeries) return -1;
    auto s = std::make_unique<Series>();
    s->def = def;
    s->bitRate = bitRate > 0 ? bitRate : kDefaultBitRate;
    switch (def.kind) {
        case SeriesDef::Kind::kLoad:
            s->unit = "%";
            s->steps = true;
            break;
        case SeriesDef::Kind::kRate:
        case SeriesDef::Kind::kErrors:
            s->unit = "frames/s";
            s->steps = true;
            break;
        default:
            break;
    }
    series.push_back(std::move(s));
    Counted();
    changed.assign(series.size(), false);
    return static_cast<int>(series.size()) - 1;
}

void SeriesFeed::Remove(int i) {
    std::lock_guard<std::mutex> hold(lock);
    if (i < 0 || static_cast<size_t>(i) >= series.size()) return;
    series.erase(series.begin() + i);
    Counted();
    changed.assign(series.size(), false);
}

void SeriesFeed::SetDecoder(Parser* replacement) {
    std::lock_guard<std::mutex> hold(lock);
    decoder = replacement;
    live.pdoCache.clear();
}

void SeriesFeed::Counted() {
    counted.clear();
    for (auto& s : series)
        if (!s->pending) counted.push_back(s.get());
}

void SeriesFeed::RunStarts() {
    lock.lock();
}

void SeriesFeed::RunEnds() {
    lock.unlock();
}

void SeriesFeed::Restart() {
    std::lock_guard<std::mutex> hold(lock);
    for (auto& s : series) {
        const SeriesDef def = s->def;
        const int bitRate = s->bitRate;
        const bool steps = s->steps;
        const std::string unit = s->unit;
        *s = Series();
        s->def = def;
        s->bitRate = bitRate;
        s->steps = steps;
        s->unit = unit;
    }
    nextIndex = 0;
    live.pdoCache.clear();
    live.emittedTick = -1;
    rowPending = false;
    restarts++;
    Counted();
}

void SeriesFeed::Joined(StoreIndex next) {
    std::lock_guard<std::mutex> hold(lock);
    nextIndex = next;
}

void SeriesFeed::Count(StoreIndex index, const CANframe& frame) {
    nextIndex = index + 1;
    // Also without series: the clock of the 100 ms steps runs for those added later.
    live.rows = static_cast<bool>(rowSink);
    Feed(frame, counted, live);
}

void SeriesFeed::Row() {
    if (!rowPending) return;
    std::vector<double> current;
    for (auto& s : series) current.push_back(s->have ? s->last : kNone);
    rowSink(rowTime, current, changed);
    changed.assign(series.size(), false);
    rowPending = false;
}

void SeriesFeed::Value(Series& s, int64_t time, double value, bool rows) {
    s.trace->Add(time, value);
    if (rows) {
        if (rowPending && time != rowTime) Row();
        if (!s.have || !Same(value, s.last)) {
            const size_t i = static_cast<size_t>(
                std::find_if(series.begin(), series.end(),
                             [&](const std::unique_ptr<Series>& p) { return p.get() == &s; }) -
                series.begin());
            if (i < changed.size()) changed[i] = true;
            rowPending = true;
            rowTime = time;
        }
    }
    s.last = value;
    s.have = true;
}

void SeriesFeed::Ticks(int64_t tick, const std::vector<Series*>& targets, Scratch& scratch) {
    int64_t& emitted = scratch.emittedTick;
    if (emitted < 0 || tick < emitted - kTicksPerSecond) {
        // The first frame, or time went back by more than a second (logs put together): count
        // afresh.
        for (Series* s : targets) s->buckets = {};
        emitted = tick;
        return;
    }
    // A frame a little late (another port's reader came first) counts where it belongs.
    if (tick <= emitted) return;
    auto point = [&](int64_t boundary) {
        for (Series* s : targets) {
            if (s->def.kind == SeriesDef::Kind::kObject) continue;
            double v = s->buckets.Sum(boundary - kTicksPerSecond, boundary - 1);
            if (s->def.kind == SeriesDef::Kind::kLoad) v = v * 100.0 / s->bitRate;
            Value(*s, boundary * kTick, v, scratch.rows);
        }
    };
    // A point at each 100 ms step passed; after a silence, until the counts are zero and then at
    // the end of the silence.
    const int64_t through = std::min(tick, emitted + kTicksPerSecond + 1);
    for (int64_t b = emitted + 1; b <= through; b++) point(b);
    if (tick > through) point(tick);
    emitted = tick;
}

bool SeriesFeed::Decodes(const CANframe& frame, const std::vector<Series*>& targets,
                         Scratch& scratch) {
    auto wanted = [&](int node) {
        for (const Series* s : targets)
            if (s->def.kind == SeriesDef::Kind::kObject && s->def.node == node &&
                s->def.OnPort(frame))
                return true;
        return false;
    };
    if (PdoRoutes::IsStamped(frame)) {
        const uint64_t key = static_cast<uint64_t>(frame.port) << 32 | frame.id;
        auto& cached = scratch.pdoCache[key];
        if (cached.first != frame.scanInfo) {
            // Looked up once per identifier and mapping version.
            cached.first = frame.scanInfo;
            cached.second = false;
            std::shared_ptr<const PdoTable> table;
            auto* canopen = dynamic_cast<CANopenParser*>(decoder);
            if (const PdoRoute* route = canopen ? canopen->StampedRoute(frame, table) : nullptr)
                cached.second =
                    route->params && (route->params->Multiplexed() || wanted(route->node));
        }
        return cached.second;
    }
    const uint32_t function = CobId::Function(frame.id);
    return (function == CobId::kSdoServer || function == CobId::kSdoClient) &&
           CobId::Node(frame.id) && wanted(CobId::Node(frame.id));
}

void SeriesFeed::Feed(const CANframe& frame, const std::vector<Series*>& targets,
                      Scratch& scratch) {
    if (frame.type == FRAME_TEXT) return;
    const int64_t time = frame.timestamp;
    const int64_t tick = time / kTick;
    Ticks(tick, targets, scratch);
    bool objects = false;
    const bool error = frame.type == FRAME_ERROR;
    for (Series* s : targets) {
        const SeriesDef& def = s->def;
        if (def.kind == SeriesDef::Kind::kObject) {
            objects = true;
        } else if (def.Counts(frame)) {
            // A load counts the frame's bits on the bus, the others the frame.
            s->buckets.Add(
                tick,
                def.kind != SeriesDef::Kind::kLoad
                    ? 1
                    : (frame.IsExtended() ? kExtendedFrameBits : kStandardFrameBits) +
                          (frame.type == FRAME_DATA ? 8 * std::min<int>(frame.length, 8) : 0));
        }
    }
    if (objects && decoder && !error && Decodes(frame, targets, scratch)) {
        CANframe copy = frame;
        scratch.values.Clear();
        decoder->Describe(copy, &scratch.values);
        for (size_t i = 0; i < scratch.values.Count(); i++) {
            const DecodedValue& v = scratch.values[i];
            double number;
            switch (v.form) {
                case DecodedValue::Form::kSigned:
                    number = static_cast<double>(v.number);
                    break;
                case DecodedValue::Form::kUnsigned:
                    number = static_cast<double>(v.unsignedNumber);
                    break;
                case DecodedValue::Form::kReal:
                    number = v.real;
                    break;
                default:
                    continue;
            }
            const int node = scratch.values.isPdo ? scratch.values.pdo.node : CobId::Node(frame.id);
            for (Series* s : targets) {
                const SeriesDef& def = s->def;
                if (def.kind != SeriesDef::Kind::kObject || def.node != node ||
                    def.index != v.index || def.sub != v.sub || !def.OnPort(frame))
                    continue;
                if (s->unit.empty() && v.type[0]) {
                    s->unit = v.type;
                    // States and bit fields hold until the next value; measures move.
                    s->steps = std::strcmp(v.type, "BOOLEAN") == 0 ||
                               (v.form != DecodedValue::Form::kReal && v.bits > 0 && v.bits <= 16);
                }
                Value(*s, time, number, scratch.rows);
            }
        }
    }
    if (scratch.rows) Row();
}

void SeriesFeed::Backfill(int i, Storage& store, const std::function<bool(double)>& progress) {
    Series* chosen;
    auto temp = std::make_unique<Series>();
    StoreIndex target;
    {
        // Counted afresh from the store: what was counted since Add is counted again below.
        std::lock_guard<std::mutex> hold(lock);
        if (i < 0 || static_cast<size_t>(i) >= series.size()) return;
        chosen = series[static_cast<size_t>(i)].get();
        chosen->pending = true;
        Counted();
        temp->def = chosen->def;
        temp->bitRate = chosen->bitRate;
        temp->unit = chosen->unit;
        temp->steps = chosen->steps;
        target = nextIndex;
    }
    // Decoded without the feed's lock (decoding reads the store, whose lock comes first), up to
    // the frames counted so far; then again up to those counted meanwhile, until none were: from
    // then on the series is counted as frames arrive, not one frame twice or left out.
    auto scratch = std::make_unique<Scratch>();
    std::vector<Series*> targets{temp.get()};
    StoreIndex begin = std::max<StoreIndex>(store.GetFirst(), 0);
    uint64_t generation = restarts;
    CANframe frame;
    bool stopped = false;
    for (StoreIndex at = begin;;) {
        while (at < target && !stopped) {
            const StoreIndex stop = std::min<StoreIndex>(target, at + kBackfillBatch);
            for (; at < stop; at++)
                if (store.Get(at, frame)) Feed(frame, targets, *scratch);
            stopped = progress &&
                      !progress(target > begin ? double(at - begin) / double(target - begin) : 1.0);
        }
        std::lock_guard<std::mutex> hold(lock);
        const auto kept =
            std::find_if(series.begin(), series.end(),
                         [&](const std::unique_ptr<Series>& s) { return s.get() == chosen; });
        if (kept == series.end()) return;  // removed meanwhile
        if (restarts != generation && !stopped) {
            // The store was cleared meanwhile: from its start again.
            generation = restarts;
            chosen->pending = true;
            Counted();
            const std::string unit = temp->unit;
            const bool steps = temp->steps;
            temp = std::make_unique<Series>();
            temp->def = chosen->def;
            temp->bitRate = chosen->bitRate;
            temp->unit = unit;
            temp->steps = steps;
            targets = {temp.get()};
            scratch = std::make_unique<Scratch>();
            at = begin = 0;
            target = nextIndex;
            continue;
        }
        if (nextIndex != at && !stopped) {
            target = nextIndex;
            continue;
        }
        if (!stopped) {
            chosen->trace = std::move(temp->trace);
            chosen->buckets = temp->buckets;
            chosen->last = temp->last;
            chosen->have = temp->have;
            chosen->unit = temp->unit;
            chosen->steps = temp->steps;
            // The store's frames before the feed joined told the clock too: the steps go on
            // from the last this series was given a point for.
            live.emittedTick = std::max(live.emittedTick, scratch->emittedTick);
        }
        chosen->pending = false;
        Counted();
        return;
    }
}
