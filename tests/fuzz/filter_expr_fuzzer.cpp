// Fuzz target: any text as a filter expression over elements A to E, and the filter it makes
// asked about a few frames. Every rejection must be a filter error.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "base/quillon_error.h"
#include "filter/fe_list.h"
#include "filter/filter_logic.h"

namespace {

FeList Elements() {
    FeList list;
    list.Add(std::make_unique<FeCanID>(0x181, 0x7FF));
    list.Add(std::make_unique<FeObjID>(0x1018, -1, FeObjID::kEqual));
    list.Add(std::make_unique<FePort>(1));
    list.Add(std::make_unique<FeCanID>(0x100, 0x100));
    list.Add(std::make_unique<FeObjID>(0x2000, 3, FeObjID::kGreaterEqual));
    return list;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const FeList elements = Elements();
    std::unique_ptr<FilterLogic> filter;
    try {
        filter =
            CreateFilterLogic(std::string(reinterpret_cast<const char*>(data), size), elements);
    } catch (const QuillonError& e) {
        if (e.code != ERR_FILTER || e.message.empty()) std::abort();
        return 0;
    }
    CANframe frame;
    for (uint32_t id : {0x181u, 0x581u, 0x1FFu}) {
        frame.id = id;
        frame.port = id & 1;
        frame.objID = id << 16 | 3;
        filter->Match(frame);
    }
    return 0;
}
