#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "plot/series_def.h"

class NetworkConfig;
class Parser;
class Storage;

// What the plot window looks up among the frames a store holds: the series they can trace, and
// the frame behind a trace's point. GUI thread (decoding as the message list does).

// A series the frames can trace, and what the chooser lists for it: its text as SeriesDef
// writes it, then what it is; an object's name.
struct SeriesChoice {
    SeriesDef def;
    std::string text;
    std::string name;
};

// The series the newest `newest` frames of store can trace: each numeric object that PDO frames
// carry or SDO transfers address (decoded by decoder, named by node from network), each port's
// load and frame rate, each identifier's rate (at most kMaxChoiceIds), and the error rate.
// Without @PORT when all the frames are of one port. progress is called between batches with
// the share done.
constexpr size_t kMaxChoiceIds = 2048;
std::vector<SeriesChoice> SeriesChoices(Storage& store, Parser* decoder, NetworkConfig& network,
                                        int newest, const std::function<void(double)>& progress);

// The store index of the frame nearest to time that counts towards def: of its identifier for a
// rate (any but an error frame for rate:all), an SDO frame of the object or a PDO frame of the
// node carrying it (decoded by decoder) for an object, an error frame or emergency for errors,
// any frame of its port for the load. Looked for around where time falls in store (bisected by
// time stamp: time goes forward with the index but for small steps back between ports), at most
// kFrameSearch frames each way; -1 when none is found.
constexpr int kFrameSearch = 50000;
StoreIndex FrameAt(Storage& store, Parser* decoder, const SeriesDef& def, int64_t time);
