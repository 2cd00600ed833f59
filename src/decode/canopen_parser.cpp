#include "decode/canopen_parser.h"

#include "decode/cob_ids.h"
#include "decode/nmt_codes.h"
#include "decode/pdo_decoder.h"

CANopenParser::~CANopenParser() {
    for (auto& net : nets) delete net.load();
}

void CANopenParser::FlushState() {
    std::lock_guard<std::mutex> hold(createLock);
    for (auto& net : nets) delete net.exchange(nullptr);
}

CANopenNetwork* CANopenParser::findNet(int port, bool create) {
    if (port < 0 || port >= kMaxPorts) return nullptr;
    std::atomic<CANopenNetwork*>& entry = nets[port];
    CANopenNetwork* net = entry.load(std::memory_order_acquire);
    if (net || !create) return net;
    std::lock_guard<std::mutex> hold(createLock);
    net = entry.load(std::memory_order_relaxed);
    if (!net) {
        net = new CANopenNetwork(port, context);
        entry.store(net, std::memory_order_release);
    }
    return net;
}

CANopenNode* CANopenParser::findNode(int port, int nodeId) {
    CANopenNetwork* net = findNet(port, true);
    return net ? net->findNode(nodeId) : nullptr;
}

bool CANopenParser::IsServiceId(uint32_t id, uint32_t timeId) {
    const uint32_t function = id & CobId::kFunctionMask;
    const uint32_t node = CobId::Node(id);
    return id == CobId::kNmt || id == CobId::kSync || id == timeId || id == CobId::kLssSlave ||
           id == CobId::kLssMaster ||
           (node != 0 && (function == CobId::kEmcy || function == CobId::kSdoServer ||
                          function == CobId::kSdoClient || function == CobId::kErrorControl));
}

std::string CANopenParser::doParse(CANframe& frame, ParsedMessage* message) {
    return Decode(frame, message, message ? &message->values : nullptr);
}

std::string CANopenParser::Describe(CANframe& frame, FrameValues* values) {
    return Decode(frame, nullptr, values);
}

const PdoRoute* CANopenParser::StampedRoute(const CANframe& frame,
                                            std::shared_ptr<const PdoTable>& table) {
    CANopenNetwork* net = PdoRoutes::IsStamped(frame) ? findNet(frame.port, false) : nullptr;
    return net ? net->pdoRoutes.Stamped(frame, table) : nullptr;
}

bool CANopenParser::CarriesObject(const CANframe& frame,
                                  const std::function<bool(uint32_t)>& test) {
    std::shared_ptr<const PdoTable> table;
    const PdoRoute* route = StampedRoute(frame, table);
    if (!route) return false;
    const PdoParameters& params = *route->params;
    if (params.Multiplexed()) {
        // The object is the frame's own: index and sub-index after the address byte.
        return frame.length >= 4 &&
               test(static_cast<uint32_t>(frame.data[1] | frame.data[2] << 8) << 16 |
                    frame.data[3]);
    }
    for (int i = 0; i < params.count && i < kMaxMappedEntries; i++) {
        const uint32_t entry = params.entries[i];
        if (!IsDummy(entry) && test(MappedObject(entry))) return true;
    }
    return false;
}

std::string CANopenParser::DecodeStampedPdo(CANframe& frame, CANopenNetwork* net,
                                            ParsedMessage* message, FrameValues* values) {
    std::shared_ptr<const PdoTable> table;
    if (const PdoRoute* route = net->pdoRoutes.Stamped(frame, table))
        return DecodePdo(frame, *route, context.names, *this, message, values);
    const std::string desc = Parser::doParse(frame, message);
    if (message)
        message->addFrag(0, 0, "The PDO mapping in force when this frame arrived is no longer kept",
                         1);
    return desc;
}

std::string CANopenParser::Decode(CANframe& frame, ParsedMessage* message, FrameValues* values) {
    if (frame.type != FRAME_DATA && frame.type != FRAME_RTR) return Parser::doParse(frame, message);
    const uint32_t id = frame.id;
    CANopenNetwork* net = findNet(frame.port, false);
    if (net && PdoRoutes::IsStamped(frame)) return DecodeStampedPdo(frame, net, message, values);
    if (id == CobId::kNmt) return parseNMT(frame, message);
    if (id == CobId::kSync) return parseSYNC(frame, message, values);
    if (id == (net ? net->timeId.load() : kDefaultTimeId)) return parseTIME(frame, message, values);
    if (id == CobId::kLssSlave || id == CobId::kLssMaster) return parseLSS(frame, message);
    const int node = CobId::Node(id);
    if (node == 0) return Parser::doParse(frame, message);
    const uint32_t function = id & CobId::kFunctionMask;
    if (function == CobId::kEmcy) return parseEMCY(frame, message);
    if (function == CobId::kSdoServer || function == CobId::kSdoClient) {
        CANopenNode* owner = findNode(frame.port, node);
        if (!owner) return Parser::doParse(frame, message);
        if (!message) return owner->sdo.getShortDesc(frame, values);
        owner->sdo.parse(frame, message);
        return "";
    }
    if (function == CobId::kErrorControl) return parseGuard(frame, message);
    return Parser::doParse(frame, message);
}

void CANopenParser::Scan(StoreIndex index, CANframe& frame, StoredFrames& stored) {
    CANopenNetwork* net = findNet(frame.port, true);
    if (!net) return;
    if (!net->started) net->Start();
    const uint32_t function = frame.id & CobId::kFunctionMask;
    const int node = CobId::Node(frame.id);
    const bool data = frame.type == FRAME_DATA;
    if (frame.id == CobId::kNmt && data && frame.length >= 2 &&
        (frame.data[0] == kNmtResetNode || frame.data[0] == kNmtResetCommunication)) {
        net->ResetNodes(frame.data[1]);
        net->UpdateRoutes();
    } else if (node != 0 && function == CobId::kErrorControl) {
        scanGuard(index, frame, stored);
        if (data && frame.length >= 1 && frame.data[0] == kNmtBootUp) {
            net->ResetNodes(node);
            net->UpdateRoutes();
        }
    } else if (node != 0 && (function == CobId::kSdoServer || function == CobId::kSdoClient) &&
               data) {
        if (CANopenNode* owner = findNode(frame.port, node)) {
            owner->sdo.scan(index, frame, stored);
            if (owner->pdosChanged) net->UpdateRoutes();
        }
    } else if ((data || frame.type == FRAME_RTR) && !net->pdoRoutes.Current().Empty() &&
               !IsServiceId(frame.id, net->timeId) && net->pdoRoutes.Current().Find(frame.id)) {
        net->pdoRoutes.Stamp(frame);
    }
}
