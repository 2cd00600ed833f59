#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "decode/emcy_codes.h"
#include "decode/parsed_message.h"
#include "decode/pdo_config.h"
#include "decode/pdo_routes.h"
#include "decode/sdo.h"
#include "store/can_frame.h"

// The TIME object and its default COB-ID.
constexpr uint16_t kTimeCobIdObject = 0x1012;
constexpr uint32_t kDefaultTimeId = 0x100;

class CANopenObjDict;
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
    CANopenNode(int port, int nodeId, const DecodeContext& context = {nullptr, nullptr});
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
    // The node's dictionary, else its network's; null without either.
    CANopenObjDict* Dictionary() const;

    // The scan pass's view of a completed SDO transfer of object index/sub whose data starts
    // with the size bytes of value: PDO parameters, and saving or restoring them, change the
    // configuration (pdoChanged tells the network).
    void TransferComplete(uint16_t index, uint8_t sub, const uint8_t* value, uint32_t size);
    // Back to the configuration the node has at power-on (boot-up, reset).
    void ResetPdos();

    const EmcyCode* emcyCodes = stdEmcyCodes;
    uint32_t numEmcyCodes = kNumStdEmcyCodes;
    SDO sdo;
    int32_t nodeId;
    int32_t port;
    StoreIndex lastGuard = -1;  // store index of the last guard frame scanned
    const DecodeContext context;
    // Written by the scan pass only.
    PdoConfig pdos;            // in force
    PdoConfig powerOnPdos;     // what a reset restores: the dictionary's, or what was saved
    bool pdosChanged = false;  // since the network last rebuilt its routes
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
    // The node if it exists; any thread.
    CANopenNode* existingNode(int nodeId);

    // Scan pass: creates every node a dictionary describes, so that their PDOs are known before
    // they send anything, and reads the TIME identifier.
    void Start();
    // Scan pass: publishes the routes anew when a node's configuration changed.
    void UpdateRoutes();
    // Scan pass: a reset of node nodeId, or of every node for 0.
    void ResetNodes(int nodeId);

    const int32_t port;
    bool started = false;  // scan pass only
    PdoRoutes pdoRoutes;
    // The frame identifier TIME is sent with: set by the scan pass, read by decoding.
    std::atomic<uint32_t> timeId{kDefaultTimeId};

  private:
    const DecodeContext context;
    std::mutex createLock;
    std::array<std::atomic<CANopenNode*>, kMaxNodes> nodes{};  // entry k is node k + 1; owned
};
