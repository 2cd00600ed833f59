#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "decode/pdo_config.h"
#include "decode/pdo_layout.h"
#include "store/can_frame.h"

// The PDO a frame identifier carries on one port: its node, direction and number, and the
// parameters in force.
struct PdoRoute {
    int node = 0;
    PdoDir dir = PdoDir::kTransmit;
    int num = 0;
    std::shared_ptr<const PdoParameters> params;
    std::shared_ptr<const PdoLayout> layout;  // params read against the node's dictionary
};

// Every route of one port by frame identifier, sorted. A transmit PDO wins over a receive PDO
// on the same identifier: its producer is the node.
class PdoTable {
  public:
    void Add(uint32_t frameId, PdoRoute route);
    // Null when no mapping in force uses the identifier.
    const PdoRoute* Find(uint32_t frameId) const;
    bool Empty() const { return routes.empty(); }
    bool operator==(const PdoTable& o) const;

  private:
    std::vector<std::pair<uint32_t, PdoRoute>> routes;
};

// The versions of one port's table, one per change, numbered from 0. The scan pass publishes a
// version and stamps each PDO frame with the number of the version it arrived under; decoding,
// on any thread and at any later time, looks the version up by that number. Only the newest
// kMaxVersions are kept: a frame older than those decodes raw. `lock` guards versions and first.
class PdoRoutes {
  public:
    static constexpr size_t kMaxVersions = 4096;
    // The mark in a stamped frame's scanInfo; the version number is in the bits below it.
    static constexpr uint32_t kStamp = 1u << 31;

    // Makes table the one in force from now unless it equals the current one; scan thread only.
    void Publish(PdoTable table);
    // The table in force; scan thread only.
    const PdoTable& Current() const { return *current; }
    // Marks frame as arriving under the table in force; scan thread only.
    void Stamp(CANframe& frame) const { frame.scanInfo = kStamp | currentNumber; }
    static bool IsStamped(const CANframe& frame) { return frame.scanInfo & kStamp; }
    // The route a stamped frame arrived under, and the table holding it; null when the version
    // is no longer kept. Any thread.
    const PdoRoute* Stamped(const CANframe& frame, std::shared_ptr<const PdoTable>& table) const;

  private:
    std::shared_ptr<const PdoTable> current = std::make_shared<const PdoTable>();
    uint32_t currentNumber = 0;

    std::shared_ptr<const PdoTable> Version(uint32_t number) const;

    mutable std::mutex lock;
    std::deque<std::shared_ptr<const PdoTable>> versions{current};
    uint32_t first = 0;  // the number of versions.front()
};
