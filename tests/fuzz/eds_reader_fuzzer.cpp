// Fuzz target: any bytes as an EDS file, read into a dictionary and written as a generated table,
// then a few names looked up.

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "decode/obj_dict.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* in = fmemopen(const_cast<uint8_t*>(data), size, "r");
    if (!in) return 0;
    FILE* table = std::fopen("/dev/null", "w");
    CANopenObjDict dict;
    dict.Load(in, table, "fuzz.eds");
    std::fclose(in);
    if (table) std::fclose(table);
    for (uint32_t key : {0x10000000u, 0x10180001u, 0x60400000u}) dict.getInfo(key);
    return 0;
}
