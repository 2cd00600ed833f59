#include "decode/pdo_routes.h"

#include <algorithm>

namespace {

bool ByIdThenTransmitFirst(const std::pair<uint32_t, PdoRoute>& a,
                           const std::pair<uint32_t, PdoRoute>& b) {
    if (a.first != b.first) return a.first < b.first;
    return a.second.dir == PdoDir::kTransmit && b.second.dir != PdoDir::kTransmit;
}

}  // namespace

void PdoTable::Add(uint32_t frameId, PdoRoute route) {
    std::pair<uint32_t, PdoRoute> entry{frameId, std::move(route)};
    auto at = std::lower_bound(routes.begin(), routes.end(), entry, ByIdThenTransmitFirst);
    routes.insert(at, std::move(entry));
}

const PdoRoute* PdoTable::Find(uint32_t frameId) const {
    auto at = std::lower_bound(
        routes.begin(), routes.end(), frameId,
        [](const std::pair<uint32_t, PdoRoute>& r, uint32_t id) { return r.first < id; });
    return at != routes.end() && at->first == frameId ? &at->second : nullptr;
}

bool PdoTable::operator==(const PdoTable& o) const {
    return std::equal(routes.begin(), routes.end(), o.routes.begin(), o.routes.end(),
                      [](const auto& a, const auto& b) {
                          return a.first == b.first && a.second.node == b.second.node &&
                                 a.second.dir == b.second.dir && a.second.num == b.second.num &&
                                 *a.second.params == *b.second.params;
                      });
}

void PdoRoutes::Publish(PdoTable table) {
    if (table == *current) return;
    current = std::make_shared<const PdoTable>(std::move(table));
    currentNumber++;
    std::lock_guard<std::mutex> hold(lock);
    versions.push_back(current);
    if (versions.size() > kMaxVersions) {
        versions.pop_front();
        first++;
    }
}

const PdoRoute* PdoRoutes::Stamped(const CANframe& frame,
                                   std::shared_ptr<const PdoTable>& table) const {
    table = Version(frame.scanInfo & ~kStamp);
    return table ? table->Find(frame.id) : nullptr;
}

std::shared_ptr<const PdoTable> PdoRoutes::Version(uint32_t number) const {
    std::lock_guard<std::mutex> hold(lock);
    if (number < first || number - first >= versions.size()) return nullptr;
    return versions[number - first];
}
