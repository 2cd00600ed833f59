#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "sim/eds_values.h"
#include "sim/sdo_server.h"
#include "sim/sim_frame_queue.h"
#include "sim/sim_random.h"

// What a simulated node is made of, from the machine's description.
struct SimNodeSetup {
    int id = 0;                            // node-ID; for an LSS node the one it is given
    std::map<uint32_t, ObjValue> objects;  // the dictionary's values at reset
    uint32_t heartbeatMs = 0;              // producer heartbeat time, 0 for none
    uint32_t guardMs = 0;                  // the master guards the node at this period, 0 for none
    std::vector<std::vector<uint32_t>> tpdos;  // objects mapped into TPDO1, TPDO2, ...
    int lss = 0;  // 0: configured, 1: selective LSS assignment, 2: global
};

// One simulated CANopen node: boot-up, NMT states, heartbeat or guarding answers, TPDOs on
// SYNC, the SDO server, emergencies and the LSS slave. Sends through the machine's queue.
class CanopenSimNode {
  public:
    enum State : uint8_t {
        kOff = 0,      // no node-ID yet (LSS) or powered down
        kBooting = 1,  // initialisation after power-on or reset
        kStopped = 4,
        kOperational = 5,
        kPreOperational = 127,
    };

    CanopenSimNode(SimNodeSetup setup, uint64_t seed);

    // Power on at now: boots after a short initialisation, unless it waits for a node-ID.
    void PowerOn(uint32_t now);
    // Sends what is due by now (boot-up, heartbeats).
    void Tick(uint32_t now, SimFrameQueue& queue);
    // When the node next needs Tick, or now + limit.
    uint32_t Next(uint32_t now, uint32_t limit) const;
    // A frame seen on the bus at time at.
    void Seen(const CANframe& frame, uint32_t at, SimFrameQueue& queue);
    // Sends an emergency with the error code and register (code 0: the error was reset).
    void Emergency(uint16_t code, uint8_t reg, uint32_t at, SimFrameQueue& queue);

    int Id() const { return id; }
    bool Guarded() const { return setup.guardMs != 0; }
    uint32_t GuardMs() const { return setup.guardMs; }
    bool LssNode() const { return setup.lss != 0; }
    bool LssGlobal() const { return setup.lss == 2; }
    // The node-ID the description gives it (by LSS for an LSS node).
    int AssignedId() const { return setup.id; }
    bool Alive() const { return state == kOperational || state == kPreOperational; }
    const std::map<uint32_t, ObjValue>& Objects() const { return objects; }

  private:
    void Reset(uint32_t at, bool wholeNode);
    void Nmt(uint8_t command, uint32_t at);
    void Sync(uint32_t at, SimFrameQueue& queue);
    void Lss(const CANframe& frame, uint32_t at, SimFrameQueue& queue);
    uint32_t Delay() { return random.Range(80, 400); }

    SimNodeSetup setup;
    SimRandom random;
    std::map<uint32_t, ObjValue> objects;
    std::vector<int32_t> motion;  // per mapped object of the TPDOs: its step per SYNC
    int id;                       // active node-ID; 0 without one
    State state = kOff;
    uint32_t bootAt = 0;
    uint32_t nextHeartbeat = 0;
    uint32_t syncs = 0;
    bool toggle = false;
    SdoServer sdo;
    // LSS slave: configuration mode, selective switch progress, and the node-ID configured.
    bool lssConfiguring = false;
    int lssMatched = 0;
    int pendingId = 0;
};
