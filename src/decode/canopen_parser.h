#pragma once

#include <array>
#include <atomic>
#include <mutex>
#include <string>

#include "decode/canopen_network.h"
#include "decode/parser.h"

class ObjectNames;
class Storage;

// The CANopen decoder: hands each frame to the decoder of its service by identifier, and keeps
// per-port, per-node state that the scan pass builds from the stored frames in arrival order.
//
// Threads: Scan runs on the thread adding frames (serialised by the message store); doParse and
// Describe run on the GUI thread, a find's threads and a plot's; both may create networks and
// nodes. Lookups take no lock (atomic table entries, objects complete before they are
// published); `createLock` serialises creation. Node state is written by the scan pass only;
// decoding reads a node's identity and tables.
class CANopenParser : public Parser {
  public:
    static constexpr int kMaxPorts = 64;

    // frames: the message store, where decoding finds the other frames of an exchange; names:
    // where object names come from. Either may be null (no neighbours, default names).
    explicit CANopenParser(Storage* frames = nullptr, ObjectNames* names = nullptr)
        : context{frames, names} {}
    ~CANopenParser() override;
    CANopenParser(const CANopenParser&) = delete;
    CANopenParser& operator=(const CANopenParser&) = delete;

    std::string doParse(CANframe& frame, ParsedMessage* message) override;
    std::string Describe(CANframe& frame, FrameValues* values) override;
    bool CarriesObject(const CANframe& frame, const std::function<bool(uint32_t)>& test) override;
    // Forgets every network and node. Not while frames are scanned or decoded elsewhere.
    void FlushState() override;
    void Scan(StoreIndex index, CANframe& frame, StoredFrames& stored) override;

    // The network of port 0..63 (null otherwise), created when missing only when create is set.
    CANopenNetwork* findNet(int port, bool create);
    // The PDO route a stamped frame arrived under, and the table holding it; null for a frame
    // not stamped or whose mapping version is no longer kept. Any thread.
    const PdoRoute* StampedRoute(const CANframe& frame, std::shared_ptr<const PdoTable>& table);
    // The node, created when missing; null for a port outside 0..63 or an ID outside 1..127
    // (a valid port's network is created even then).
    CANopenNode* findNode(int port, int nodeId);

    // The protocol decoders: each returns the short description and, with a message, adds the
    // decoded lines; they may raise the frame's status.
    std::string parseNMT(CANframe& frame, ParsedMessage* message);
    std::string parseSYNC(CANframe& frame, ParsedMessage* message, FrameValues* values);
    std::string parseTIME(CANframe& frame, ParsedMessage* message, FrameValues* values);
    std::string parseGuard(CANframe& frame, ParsedMessage* message);
    std::string parseEMCY(CANframe& frame, ParsedMessage* message);
    std::string parseLSS(CANframe& frame, ParsedMessage* message);
    // Links a node's guard frames into exchanges: a request and its reply, or a run of
    // heartbeats each on its own.
    void scanGuard(StoreIndex index, CANframe& frame, StoredFrames& stored);

  private:
    // doParse and Describe: lines to message, values to values, each when given.
    std::string Decode(CANframe& frame, ParsedMessage* message, FrameValues* values);
    std::string DecodeStampedPdo(CANframe& frame, CANopenNetwork* net, ParsedMessage* message,
                                 FrameValues* values);
    // The identifiers of the services this decoder knows by identifier alone, which no PDO
    // takes from them.
    static bool IsServiceId(uint32_t id, uint32_t timeId);

    const DecodeContext context;
    std::mutex createLock;
    std::array<std::atomic<CANopenNetwork*>, kMaxPorts> nets{};  // by port; owned
};
