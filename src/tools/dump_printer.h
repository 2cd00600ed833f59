#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "decode/frame_values.h"
#include "store/storage.h"

class FiltStore;
class LogFormatWriter;
class MsgStore;
class Parser;

// How quillon-dump prints frames.
struct DumpOptions {
    bool detail = false;             // decoded lines after each row
    bool json = false;               // JSON Lines instead of text rows
    bool delta = false;              // time as the difference to the previous printed frame
    bool quiet = false;              // print nothing per frame
    LogFormatWriter* log = nullptr;  // when set, frames are printed as this log format's lines
};

// Listens to the filtered view and prints each frame that passes as soon as it has been
// scanned, so that logs longer than the store's capacity are printed whole.
class DumpPrinter : public StoreListener {
  public:
    DumpPrinter(FiltStore& view, MsgStore& store, Parser& parser, const DumpOptions& options,
                FILE* out)
        : view(view), msgStore(store), parser(parser), options(options), out(out) {}

    void AddStore(StoreIndex first, StoreIndex last, int total) override;
    long Printed() const { return printed; }
    // Frames the log format of the output cannot carry, left out.
    uint64_t LeftOut() const { return leftOut; }

  private:
    // The short description, and the status it leaves (made on a copy, as the list does).
    std::string Describe(const CANframe& frame, int* status, FrameValues* values = nullptr);
    void PrintText(StoreIndex index, CANframe& frame);
    void PrintJson(StoreIndex index, CANframe& frame);

    FiltStore& view;
    MsgStore& msgStore;
    Parser& parser;
    DumpOptions options;
    FILE* out;
    long printed = 0;
    uint64_t leftOut = 0;
    bool haveReference = false;  // a printed row had a time stamp of its own
    uint64_t previousTime = 0;   // that row's time stamp
    std::string jsonLine;        // the JSON line being written, kept for its capacity
    FrameValues values;          // the frame's values, kept for their capacity
};
