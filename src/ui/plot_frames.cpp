#include "ui/plot_frames.h"
#include "decode/cob_ids.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>

#include "base/utils.h"
#include "decode/frame_values.h"
#include "decode/parser.h"
#include "decode/pdo_routes.h"
#include "netcfg/network_config.h"
#include "store/storage.h"

namespace {

constexpr int kBatch = 65536;
// How much further in time than the best match found the search goes on, for frames of several
// ports that are not quite in time order.
constexpr int64_t kSearchSlack = 100000;

bool IsSdo(const CANframe& f) {
    const uint32_t function = f.id & CobId::kFunctionMask;
    return f.type == FRAME_DATA &&
           (function == CobId::kSdoServer || function == CobId::kSdoClient) &&
           (f.id & CobId::kNodeMask);
}

bool Numeric(const DecodedValue& v) {
    return v.form == DecodedValue::Form::kSigned || v.form == DecodedValue::Form::kUnsigned ||
           v.form == DecodedValue::Form::kReal;
}

// Whether frame counts towards def, as FrameAt says. otherNodes: the PDOs (port, identifier,
// mapping version) found to be another node's, which need no decoding again.
bool FrameOfSeries(const CANframe& frame, const SeriesDef& def, Parser* decoder,
                   std::set<std::tuple<int, uint32_t, uint32_t>>& otherNodes) {
    if (def.kind != SeriesDef::Kind::kObject) return def.Counts(frame);
    if (frame.type == FRAME_TEXT || !def.OnPort(frame)) return false;
    if (IsSdo(frame))
        return static_cast<int>(frame.id & CobId::kNodeMask) == def.node &&
               frame.objID == (uint32_t{def.index} << 16 | def.sub);
    if (!decoder || !PdoRoutes::IsStamped(frame)) return false;
    const std::tuple<int, uint32_t, uint32_t> pdo{frame.port, frame.id, frame.scanInfo};
    if (otherNodes.count(pdo)) return false;
    CANframe copy = frame;
    FrameValues values;
    decoder->Describe(copy, &values);
    if (!values.isPdo || values.pdo.node != def.node) {
        otherNodes.insert(pdo);
        return false;
    }
    // A multiplexed PDO carries another object in each frame: each is looked at.
    for (size_t v = 0; v < values.Count(); v++)
        if (values[v].index == def.index && values[v].sub == def.sub) return true;
    return false;
}

}  // namespace

std::vector<SeriesChoice> SeriesChoices(Storage& store, Parser* decoder, NetworkConfig& network,
                                        int newest, const std::function<void(double)>& progress) {
    struct Object {
        std::string name;
        std::string type;
    };
    std::map<std::tuple<int, int, int, int>, Object> objects;  // port, node, index, sub
    std::set<int> ports;
    std::set<std::pair<int, uint32_t>> ids;
    // Described already: a PDO identifier under one mapping version; an SDO transfer's object
    // whose value was found.
    std::set<std::tuple<int, uint32_t, uint32_t>> pdosSeen;
    std::set<std::tuple<int, int, uint32_t>> sdosSeen;
    StoreIndex first, last;
    const int total = store.GetTotal(&first, &last);
    const StoreIndex begin = std::max<StoreIndex>(first, last - std::max(newest, 1) + 1);
    FrameValues values;
    CANframe frame;
    for (StoreIndex i = begin; total > 0 && i <= last; i++) {
        if ((i - begin) % kBatch == 0 && progress)
            progress(static_cast<double>(i - begin) / (last - begin + 1));
        if (!store.Get(i, frame) || frame.type == FRAME_TEXT) continue;
        ports.insert(frame.port);
        if (frame.type == FRAME_ERROR) continue;
        if (ids.size() < kMaxChoiceIds) ids.insert({frame.port, frame.id});
        if (!decoder) continue;
        const bool sdo = IsSdo(frame);
        const int sdoNode = static_cast<int>(frame.id & CobId::kNodeMask);
        if (PdoRoutes::IsStamped(frame)) {
            if (!pdosSeen.insert({frame.port, frame.id, frame.scanInfo}).second) continue;
        } else if (!sdo || sdosSeen.count({frame.port, sdoNode, frame.objID})) {
            continue;
        }
        values.Clear();
        decoder->Describe(frame, &values);
        const int node = values.isPdo ? values.pdo.node : sdoNode;
        for (size_t v = 0; v < values.Count(); v++) {
            const DecodedValue& value = values[v];
            if (!Numeric(value)) continue;
            objects.emplace(
                std::make_tuple(int{frame.port}, node, int{value.index}, int{value.sub}),
                Object{value.name, value.type});
            if (sdo) sdosSeen.insert({frame.port, node, uint32_t{value.index} << 16 | value.sub});
        }
    }
    const bool onePort = ports.size() <= 1;
    std::vector<SeriesChoice> choices;
    auto add = [&](const SeriesDef& def, const std::string& what, const std::string& name) {
        choices.push_back({def, def.Text() + "  " + what, name});
    };
    for (const auto& [key, object] : objects) {
        SeriesDef def;
        def.kind = SeriesDef::Kind::kObject;
        def.port = onePort ? -1 : std::get<0>(key);
        def.node = std::get<1>(key);
        def.index = static_cast<uint16_t>(std::get<2>(key));
        def.sub = static_cast<uint8_t>(std::get<3>(key));
        const NodeInfo* info = network.FindNode(std::get<0>(key), def.node);
        add(def,
            (info ? info->name : Format("node %d", def.node)) + ": " + object.name +
                (object.type.empty() ? "" : " (" + object.type + ")"),
            object.name);
    }
    for (int port : ports) {
        SeriesDef load;
        load.kind = SeriesDef::Kind::kLoad;
        load.port = port;
        add(load, Format("bus load of port %d, %%", port), "");
        SeriesDef all;
        all.kind = SeriesDef::Kind::kRate;
        all.anyId = true;
        all.port = onePort ? -1 : port;
        add(all, onePort ? "frames per second" : Format("frames per second of port %d", port), "");
    }
    for (const auto& [port, id] : ids) {
        SeriesDef rate;
        rate.kind = SeriesDef::Kind::kRate;
        rate.port = onePort ? -1 : port;
        rate.id = id;
        add(rate, "frames per second of the identifier", "");
    }
    SeriesDef errors;
    errors.kind = SeriesDef::Kind::kErrors;
    add(errors, "error frames and emergencies per second", "");
    if (!onePort)
        for (int port : ports) {
            errors.port = port;
            add(errors, Format("error frames and emergencies per second of port %d", port), "");
        }
    return choices;
}

StoreIndex FrameAt(Storage& store, Parser* decoder, const SeriesDef& def, int64_t time) {
    StoreIndex first, last;
    if (store.GetTotal(&first, &last) == 0) return -1;
    CANframe frame;
    StoreIndex lo = first, hi = last + 1;
    while (lo < hi) {
        const StoreIndex middle = lo + (hi - lo) / 2;
        if (store.Get(middle, frame) && static_cast<int64_t>(frame.timestamp) < time)
            lo = middle + 1;
        else
            hi = middle;
    }
    StoreIndex best = -1;
    int64_t bestDistance = 0;
    std::set<std::tuple<int, uint32_t, uint32_t>> otherNodes;
    // Outwards from where time falls, each way until kFrameSearch frames or beyond the best
    // match by more than kSearchSlack.
    bool down = true, up = true;
    for (int step = 0; step < kFrameSearch && (down || up); step++) {
        for (int side = 0; side < 2; side++) {
            bool& going = side == 0 ? up : down;
            const StoreIndex i = side == 0 ? lo + step : lo - 1 - step;
            if (!going) continue;
            if (i < first || i > last) {
                going = false;
                continue;
            }
            if (!store.Get(i, frame)) continue;
            const int64_t distance = std::llabs(static_cast<int64_t>(frame.timestamp) - time);
            if (best >= 0 && distance > bestDistance + kSearchSlack) {
                going = false;
                continue;
            }
            if ((best < 0 || distance < bestDistance) &&
                FrameOfSeries(frame, def, decoder, otherNodes)) {
                best = i;
                bestDistance = distance;
            }
        }
    }
    return best;
}
