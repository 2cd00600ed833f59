// Fuzz target: any bytes as a configuration file (preferences, network configurations), read
// element by element; what reads back is written out again.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "base/cfg_element.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* in = fmemopen(const_cast<uint8_t*>(data), size, "r");
    if (!in) return 0;
    FILE* out = std::fopen("/dev/null", "w");
    try {
        while (std::unique_ptr<CfgElement> e = CfgElement::load(in))
            if (out) e->save(out, "");
    } catch (const CfgFileErr&) {
    }
    std::fclose(in);
    if (out) std::fclose(out);
    return 0;
}
