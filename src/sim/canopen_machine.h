#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sim/canopen_sim_node.h"
#include "sim/sdo_client.h"
#include "sim/sim_frame_queue.h"
#include "sim/sim_random.h"
#include "sim/sim_source.h"

class CfgElement;

// A simulated CANopen network for an emulated bus, from a [CANopen] block of a description:
//
//   [CANopen]
//      Seed:1          Sync_us:10000   SDO_ms:250   NMT_ms:5000   EMCY_ms:7000   LSS_ms:1500
//      [Node]
//         Id:5   EDS:demo_drive.eds   Heartbeat_ms:200 | Guard_ms:500
//         TPDO:6041,6064   (repeatable: TPDO1, TPDO2, ...)   LSS:selective|global
//         Target:607A,6064   (the master moves 607A, sent by RPDO; 6064 follows it)
//      [END]
//   [END]
//
// Relative EDS paths are found from baseDir. Every problem (unknown key, bad number, missing
// EDS file) throws QuillonError 12 naming the key or file.
std::unique_ptr<SimSource> CreateCanopenMachine(const CfgElement& block,
                                                const std::string& baseDir);

// What the machine's master does, from the description.
struct CanopenMasterSetup {
    uint64_t seed = 1;
    uint32_t syncUs = 10000;  // SYNC period, 0 for no SYNC
    uint32_t sdoMs = 250;     // pause between SDO transfers, 0 for none
    uint32_t nmtMs = 5000;    // between NMT commands to single nodes, 0 for none
    uint32_t emcyMs = 7000;   // mean time between emergencies, 0 for none
    uint32_t lssMs = 1500;    // when node-ID assignment by LSS begins
};

// The network: its nodes and a master that resets and starts them, produces SYNC, sends
// targets by RPDO, guards, reads and writes objects by SDO, and assigns node-IDs by LSS; the
// nodes raise emergencies.
// Deterministic: driven only by the times given to Poll and Seen.
class CanopenMachine : public SimSource {
  public:
    CanopenMachine(CanopenMasterSetup setup, std::vector<SimNodeSetup> nodes);

    void Start(uint32_t now) override;
    uint32_t Poll(uint32_t now, std::vector<CANframe>& out) override;
    void Seen(const CANframe& frame, uint32_t at) override;

  private:
    // One step of an LSS assignment: the frame and whether the node answers it.
    struct LssStep {
        std::vector<uint8_t> data;
        bool answered;
    };

    void Nmt(uint32_t due, uint8_t command, int node) {
        queue.Send(due, 0, {command, static_cast<uint8_t>(node)});
    }
    void MasterTick(uint32_t now);
    // After the SYNC at at: moves each operational node's target and sends its RPDOs.
    void SendRpdos(uint32_t at);
    void NextSdo(uint32_t now);
    void NextNmt(uint32_t now);
    void NextEmcy(uint32_t now);
    void BeginLss(uint32_t now);
    CanopenSimNode* FindNode(int id);
    std::vector<CanopenSimNode*> AliveNodes();
    uint32_t Jitter(uint32_t ms);

    CanopenMasterSetup setup;
    SimRandom random;
    std::vector<std::unique_ptr<CanopenSimNode>> nodes;
    SimFrameQueue queue;
    bool started = false;

    // Start-up: communication reset of all, then start of all.
    bool resetPending = false, startPending = false;
    uint32_t resetAt = 0, startAt = 0;
    uint32_t nextSync = 0;
    // Nodes with a target: the values of the objects their RPDOs map as the master commands them
    // (the dictionary's at start, the target moving to and fro), the target's step per SYNC and
    // the SYNCs it has moved on.
    struct Commanded {
        CanopenSimNode* node;
        std::map<uint32_t, ObjValue> values;
        int32_t step;
        uint32_t syncs;
    };
    std::vector<Commanded> commanded;
    // NMT commands to one node and the start that follows them.
    uint32_t nextNmt = 0, restoreAt = 0;
    int restoreNode = 0, nmtStep = 0;
    // Guarding: per node, the next request; 0 while the node has not booted.
    std::vector<uint32_t> guardAt;
    std::vector<bool> guarding;
    // SDO.
    SdoClient client;
    int sdoNode = 0, sdoStep = 0;
    uint32_t nextSdo = 0, sdoDeadline = 0;
    // Configuration of booted nodes, written before any other transfer: node, object, bytes.
    struct ConfigWrite {
        int node;
        uint32_t key;
        std::vector<uint8_t> bytes;
    };
    std::deque<ConfigWrite> configuring;
    // Emergencies: the next one, and the reset of the last one.
    uint32_t nextEmcy = 0, clearAt = 0;
    int emcyNode = 0;
    // LSS: nodes still to assign, the steps of the current one, and the node to start.
    std::vector<CanopenSimNode*> lssQueue;
    std::vector<LssStep> lssSteps;
    size_t lssStep = 0;
    bool lssActive = false, lssWaiting = false;
    uint32_t lssAt = 0, lssDeadline = 0;
    int lssAssigned = 0;   // the node-ID being given
    int lssStartNode = 0;  // started on its boot-up
};
