// Fuzz target: any text as a filter expression over elements A to E, and the filter it makes
// asked about a few frames. Every rejection must be a filter error.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/quillon.h"
#include "base/quillon_error.h"
#include "filter/filter_logic.h"
#include "filter/headless_filt_dialog.h"

namespace {

void DefineElements() {
    auto dialog = std::make_unique<HeadlessFiltDialog>();
    dialog->AddFE(std::make_unique<FeCanID>(0x181, 0x7FF));
    dialog->AddFE(std::make_unique<FeObjID>(0x1018, -1, FeObjID::kEqual));
    dialog->AddFE(std::make_unique<FePort>(1));
    dialog->AddFE(std::make_unique<FeCanID>(0x100, 0x100));
    dialog->AddFE(std::make_unique<FeObjID>(0x2000, 3, FeObjID::kGreaterEqual));
    App().filtDialog = std::move(dialog);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool defined = (DefineElements(), true);
    (void)defined;
    std::unique_ptr<FilterLogic> filter;
    try {
        filter = CreateFilterLogic(std::string(reinterpret_cast<const char*>(data), size));
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
