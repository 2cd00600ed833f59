// Fuzz target: any bytes as an emulation description, read into buses, cards and ports (not run).
// Log replay is not offered, so that no input names a file to be read whole.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "base/cfg_element.h"
#include "base/quillon_error.h"
#include "sim/emulation_description.h"
#include "sim/sim_block.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* in = fmemopen(const_cast<uint8_t*>(data), size, "r");
    if (!in) return 0;
    std::unique_ptr<CfgElement> root;
    try {
        root = CfgElement::load(in);
    } catch (const CfgFileErr&) {
    }
    std::fclose(in);
    if (!root) return 0;
    try {
        Emulation emulation = ReadEmulation(*root, SimSourceFactories{}, "/nonexistent");
    } catch (const SimConfigError&) {
    } catch (const QuillonError&) {
    }
    return 0;
}
