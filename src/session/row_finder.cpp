#include "session/row_finder.h"

#include <algorithm>
#include <thread>
#include <vector>

#include "store/filt_store.h"
#include "store/msg_store.h"

namespace {

// Rows read per hold of the view's lock and the store's: a run matched by identifier or data
// holds the store's lock for about a millisecond at most, so readers' additions hardly wait.
constexpr int kRun = 1 << 15;
constexpr StoreIndex kCancelled = -2;
constexpr int kCancelledHit = -2;
// Threads that describe a run's frames for a text match, the calling one among them: describing
// is what a text search spends its time on.
constexpr unsigned kMostDescribers = 4;

}  // namespace

int RowFinder::Describe(const FrameMatch& match, const std::vector<CANframe>& frames, bool forward,
                        FindProgress& progress) const {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const size_t parts = std::min<size_t>({cores, kMostDescribers, frames.size()});
    if (parts == 0) return -1;
    // Each part finds its own first match (its last, backward); the search's is that of the
    // first part with one (the last, backward).
    std::vector<int> hits(parts, -1);
    auto describe = [&](size_t part) {
        const size_t from = frames.size() * part / parts;
        const size_t to = frames.size() * (part + 1) / parts;
        for (size_t i = from; i < to; i++) {
            if (progress.cancel) return;
            const size_t j = forward ? i : to - 1 - (i - from);
            if (match.Matches(frames[j], decoder)) {
                hits[part] = static_cast<int>(j);
                return;
            }
        }
    };
    std::vector<std::thread> helpers;
    for (size_t part = 1; part < parts; part++) helpers.emplace_back(describe, part);
    describe(0);
    for (std::thread& helper : helpers) helper.join();
    if (progress.cancel) return kCancelledHit;
    for (size_t k = 0; k < parts; k++) {
        const int hit = hits[forward ? k : parts - 1 - k];
        if (hit >= 0) return hit;
    }
    return -1;
}

StoreIndex RowFinder::Scan(const FrameMatch& match, StoreIndex lo, StoreIndex hi, bool forward,
                           FindProgress& progress, int64_t& looked, int64_t total) {
    std::vector<StoreIndex> indexes(kRun);
    std::vector<CANframe> copies;
    std::vector<int> places;
    while (lo <= hi) {
        if (progress.cancel) return kCancelled;
        const StoreIndex runLo = forward ? lo : std::max(lo, hi - kRun + 1);
        const StoreIndex runHi = forward ? std::min(hi, lo + kRun - 1) : hi;
        StoreIndex at = runLo;
        const int n = view.GetStoreIndexes(at, static_cast<int>(runHi - runLo + 1), indexes.data());
        int hit = -1;
        if (match.Decodes()) {
            // Copied under the lock, described without it.
            copies.clear();
            places.clear();
            store.Visit(indexes.data(), n, [&](int k, const CANframe& frame) {
                copies.push_back(frame);
                places.push_back(k);
                return false;
            });
            const int found = Describe(match, copies, forward, progress);
            if (found == kCancelledHit) return kCancelled;
            if (found >= 0) hit = places[static_cast<size_t>(found)];
        } else if (forward) {
            const int k = store.Visit(indexes.data(), n, [&](int, const CANframe& frame) {
                return match.Matches(frame, nullptr);
            });
            if (k < n) hit = k;
        } else {
            store.Visit(indexes.data(), n, [&](int k, const CANframe& frame) {
                if (match.Matches(frame, nullptr)) hit = k;
                return false;
            });
        }
        if (hit >= 0) return at + hit;
        looked += runHi - runLo + 1;
        progress.percent = static_cast<int>(looked * 100 / total);
        if (forward)
            lo = runHi + 1;
        else
            hi = runLo - 1;
    }
    return -1;
}

FindResult RowFinder::Find(const FrameMatch& match, StoreIndex from, bool forward, bool wrap,
                           FindProgress& progress) {
    FindResult result;
    StoreIndex first, last;
    if (view.GetTotal(&first, &last) == 0) return result;
    const int64_t total = last - first + 1;
    int64_t looked = 0;
    progress.percent = 0;
    // The two stretches: from on to the end, then from the other end up to from.
    const StoreIndex stretches[2][2] = {
        {forward ? std::max(from, first) : first, forward ? last : std::min(from, last)},
        {forward ? first : std::max(from + 1, first), forward ? std::min(from - 1, last) : last}};
    for (int s = 0; s < (wrap ? 2 : 1); s++) {
        const StoreIndex row =
            Scan(match, stretches[s][0], stretches[s][1], forward, progress, looked, total);
        if (row == kCancelled) {
            result.end = FindEnd::kCancelled;
            return result;
        }
        if (row >= 0) {
            result.end = s == 0 ? FindEnd::kFound : FindEnd::kWrapped;
            result.row = row;
            return result;
        }
    }
    return result;
}

StoreIndex RowFinder::RowOfNumber(StoreIndex number) {
    // The view keeps the rows of frames the store has overwritten since, which show nothing: a
    // number before the store's first goes to its first frame.
    StoreIndex stored;
    if (store.GetTotal(&stored, nullptr) == 0) return -1;
    number = std::max(number, stored);
    StoreIndex at = view.FindNdx(number);
    if (at < 0) return -1;
    // FindNdx answers the second position for a number below all those held.
    const StoreIndex first = view.GetFirst();
    if (at > first && view.GetStoreIndex(at - 1) >= number) at--;
    return view.GetStoreIndex(at) >= number ? at : -1;
}
