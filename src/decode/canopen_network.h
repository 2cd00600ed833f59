#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "decode/emcy_codes.h"
#include "decode/parsed_message.h"
#include "decode/sdo.h"
#include "store/can_frame.h"

class ObjectNames;
class Storage;

// What the node decoders consult beyond the frame itself; both may be null.
struct DecodeContext {
    Storage* frames;     // the message store: the other frames of an exchange, when decoding
    ObjectNames* names;  // the names of the objects SDO transfers address
};

// One CANopen node as the decoder knows it: its identity, the emergency codes it uses, and the
// state the scan pass keeps for it (written by the scan pass only).
class CANopenNode {
  public:
    CANopenNode(int port, int nodeId, const DecodeContext& context = {nullptr, nullptr})
        : sdo(this), nodeId(nodeId), port(port), context(context) {}
    virtual ~CANopenNode() = default;
    CANopenNode(const CANopenNode&) = delete;
    CANopenNode& operator=(const CANopenNode&) = delete;

    // The name of an emergency error code from the node's table (errorReg tells "No error"
    // from "Error cleared" for code 0).
    virtual std::string getEmcyCode(uint16_t code, uint8_t errorReg);
    // Lines for the manufacturer-specific bytes of an emergency message; none by default.
    virtual void decodeMfgEmcyInfo(CANframe& frame, ParsedMessage* message);
    // The display name of object obj (index << 16 | subindex): from the configured node's or
    // network's EDS file, else "object 0x%04x" or "object 0x%04x.0x%02x".
    std::string GetObjName(uint32_t obj);

    const EmcyCode* emcyCodes = stdEmcyCodes;
    uint32_t numEmcyCodes = kNumStdEmcyCodes;
    SDO sdo;
    int32_t nodeId;
    int32_t port;
    int32_t lastGuard = -1;  // store index of the last guard frame scanned
    const DecodeContext context;
};

// The nodes seen on one port, created on first use. Lookups take no lock: the table entries
// are atomic and a node is complete before it is published. `createLock` serialises creation.
class CANopenNetwork {
  public:
    static constexpr int kMaxNodes = 127;

    CANopenNetwork(int port, const DecodeContext& context) : port(port), context(context) {}
    ~CANopenNetwork();
    CANopenNetwork(const CANopenNetwork&) = delete;
    CANopenNetwork& operator=(const CANopenNetwork&) = delete;

    // The node with ID 1..127, created if needed; null for any other ID.
    CANopenNode* findNode(int nodeId);

    const int32_t port;

  private:
    const DecodeContext context;
    std::mutex createLock;
    std::array<std::atomic<CANopenNode*>, kMaxNodes> nodes{};  // entry k is node k + 1; owned
};
