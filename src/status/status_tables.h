#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "status/network_status.h"

class CANopenParser;
class NetworkConfig;
class Parser;

// How a row stands against the configuration: green, yellow or red in the window.
enum class Health : uint8_t { kOk, kWarning, kFault };

// "unknown", "initialising", "pre-operational", "operational", "stopped".
const char* NmtStateName(NmtState state);
// "ok", "warning", "fault".
const char* HealthName(Health health);

// One table of the network status as text: what the window shows and quillon-dump prints, column
// by column. Numbers are written as the table's interface has them (times in seconds with six
// decimals); an empty cell has no value.
struct StatusTable {
    enum class Kind : uint8_t {
        kText,
        kNumber,
        kFlag,  // "yes" or "no"
    };
    struct Column {
        const char* name;
        Kind kind;
    };
    struct Row {
        std::vector<std::string> cells;
        int port = -1;
        int node = -1;  // -1: the row is no node's
        Health health = Health::kOk;
        uint8_t changed = 0;  // identifiers: the data bytes that changed in the last second
        int64_t frame = -1;   // the store index the row leads to: a transfer's first frame
    };

    std::vector<Column> columns;
    std::vector<Row> rows;
    std::vector<std::string> notes;  // what the rows leave out
};

// Writes the tables of a snapshot, naming what the decoder and the network configuration know:
// node names, the configured heartbeat and SYNC periods, emergency and abort texts, object names
// and the short descriptions of frames. Nodes of the configuration that were never heard from get
// rows too. On the thread that owns the decoder's descriptions (the GUI thread, or quillon-dump).
class StatusTables {
  public:
    // decoder: the current decoder, null for none; config may be null.
    StatusTables(Parser* decoder, NetworkConfig* config);

    StatusTable Nodes(const StatusSnapshot& s);
    StatusTable Identifiers(const StatusSnapshot& s);
    // transfers: ended ones then, from openFrom on, those under way; dropped: the older ones that
    // are no longer kept.
    StatusTable Transfers(const std::vector<TransferRecord>& transfers, size_t openFrom,
                          uint64_t dropped);

  private:
    // The producer heartbeat time of a node in milliseconds, and where it comes from: written
    // or read by SDO (0: switched off), else the dictionary's if not 0; -1 for none.
    int ConfiguredPeriod(const NodeRecord& node, const char** source);
    int64_t SyncPeriod(const SyncRecord& sync);
    std::string Name(int port, int node);
    std::string Description(const CANframe& frame);

    Parser* decoder;
    CANopenParser* canopen;  // the decoder when it decodes CANopen, else null
    NetworkConfig* config;
};
