// Readers add frames while the GUI thread changes the filter, rebuilds the view and clears the
// store: afterwards the view must hold every passing frame exactly once, in store order, with
// no data race (run under TSan).

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <vector>

#include "app/quillon.h"
#include "filter/filter_element.h"
#include "io/log_reader.h"
#include "io/read_manager.h"
#include "store/filt_store.h"
#include "store/held_indexes.h"
#include "store/msg_store.h"

namespace {

constexpr int kSources = ReadManager::kMaxReaders;
constexpr int kFramesEach = 3000;
std::atomic<int> produced{0};  // frames handed to the readers, all sources
// Frames each source may hand out so far: raised by the rebuilding thread, so that additions
// and rebuilds interleave whatever the scheduler does (readers may run real-time).
std::atomic<int> allowance{0};

bool Increasing(const std::vector<int>& v) {
    for (size_t i = 1; i < v.size(); i++)
        if (v[i] <= v[i - 1]) return false;
    return true;
}

// Frames of one source, paced by the allowance.
struct PacedSource : FrameProducer {
    explicit PacedSource(int source) : source(source) {}
    bool getNextFrame(CANframe& frame) override {
        if (sent == kFramesEach) throw EndOfFileException();
        while (sent >= allowance) Thread::sleep(1);
        frame.Reset(false);
        frame.id = 100 + source;
        frame.length = 2;
        frame.data[0] = sent >> 8;
        frame.data[1] = sent & 255;
        sent++;
        produced++;
        return true;
    }
    int source;
    int sent = 0;
};

TEST(FiltStoreConcurrencyTest, ResetWhileReadersAddKeepsEachPassingFrameOnceInOrder) {
    Quillon& app = App();
    app.msgStore = std::make_unique<MsgStore>(kSources * kFramesEach + 10);  // never wraps
    app.filtStore = std::make_unique<FiltStore>(*app.msgStore);
    FiltStore& view = *app.filtStore;

    auto odd = [] { return std::make_unique<FeCanID>(1, 1); };
    auto even = [] { return std::make_unique<FeCanID>(0, 1); };
    for (int s = 0; s < kSources; s++) app.readMgr.AddReader(std::make_unique<PacedSource>(s));
    int resets = 0, disorders = 0;
    for (; produced < kSources * kFramesEach; resets++) {
        if (resets == 20) app.msgStore->Clear();  // frames keep coming after a clear
        switch (resets % 3) {
            case 0:
                app.SetFilter(odd());
                break;
            case 1:
                app.SetFilter(even());
                break;
            default:
                app.SetFilter(std::make_unique<FilterLogic>());
        }
        if (!Increasing(Held(view))) disorders++;
        allowance += 100;
    }
    app.SetFilter(odd());   // rebuilt once more while the last frames are added
    app.readMgr.StopAll();  // lets each reader finish the frame it is adding

    std::vector<int> expected;
    int first, last;
    app.msgStore->GetTotal(&first, &last);
    CANframe f;
    for (int i = first; i <= last; i++)
        if (app.msgStore->Get(i, f) && f.id % 2 == 1) expected.push_back(i);
    EXPECT_GE(resets, kFramesEach / 100);
    EXPECT_EQ(disorders, 0);
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(Held(view), expected);

    app.filtStore.reset();
    app.msgStore.reset();
    app.filter = std::make_unique<FilterLogic>();
}

}  // namespace
