#pragma once

#include <cstdint>
#include <map>
#include <utility>
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
    // Objects mapped into TPDO1, TPDO2, ... in place of the dictionary's mapping.
    std::vector<std::vector<uint32_t>> tpdos;
    // TPDOs (number, objects) the master maps anew by SDO after each boot-up of the node.
    std::vector<std::pair<int, std::vector<uint32_t>>> remaps;
    // A target the master moves and sends in the node's RPDOs, and the object that follows it
    // (index << 16 | sub-index each); 0 for none.
    uint32_t target = 0;
    uint32_t follower = 0;
    int lss = 0;  // 0: configured, 1: selective LSS assignment, 2: global
};

// One simulated CANopen node: boot-up, NMT states, heartbeat or guarding answers, TPDOs on
// SYNC and RPDOs received by the PDO objects of its dictionary (which SDO writes change), the
// SDO server, emergencies and the LSS slave. Sends through the machine's queue.
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
    bool Operational() const { return state == kOperational; }
    uint32_t Target() const { return setup.target; }
    const std::map<uint32_t, ObjValue>& Objects() const { return objects; }
    const std::vector<std::pair<int, std::vector<uint32_t>>>& Remaps() const {
        return setup.remaps;
    }

    // The SDO writes that map TPDO num to objects, in the order CANopen asks for: the PDO made
    // invalid, its mapping cleared, the entries, their number, the PDO valid again. Each is the
    // object (index << 16 | sub-index) and its bytes.
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> RemapWrites(
        int num, const std::vector<uint32_t>& mapped) const;

  private:
    void Reset(uint32_t at, bool wholeNode);
    // Moves the values the TPDOs carry as a machine's do: positions ramp to and fro with their
    // velocity, or follow their target, analog values drift, inputs toggle now and then.
    void Move();
    void Nmt(uint8_t command, uint32_t at);
    void Sync(uint32_t at, SimFrameQueue& queue);
    void Lss(const CANframe& frame, uint32_t at, SimFrameQueue& queue);
    uint32_t Delay() { return random.Range(80, 400); }

    SimNodeSetup setup;
    SimRandom random;
    std::map<uint32_t, ObjValue> objects;
    std::map<uint32_t, int32_t> motion;  // per ramping object: its step per SYNC
    int id;                              // active node-ID; 0 without one
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
