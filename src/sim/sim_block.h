#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "base/cfg_element.h"

// A problem in an emulation description: the line it is on and what is wrong. The emulated
// driver adds the description's name when it reports it.
struct SimConfigError {
    int line;
    std::string problem;
};

// The keys and inner blocks of one block of an emulation description. Anything not named as
// allowed is refused (a misspelt key must not silently fall back to a default), and so is a key
// given twice. Every refusal throws SimConfigError with the line of the offending entry.
class SimBlock {
  public:
    SimBlock(const CfgElement& block, std::initializer_list<const char*> keys,
             std::initializer_list<const char*> blocks = {});

    bool Has(const char* key) const { return Find(key) != nullptr; }
    // A number (decimal or 0x-hexadecimal) between min and max, or dflt when the key is absent.
    int64_t Int(const char* key, int64_t dflt, int64_t min, int64_t max) const;
    // A 32-bit word (version words, serial numbers): any value that fits 32 bits.
    uint32_t Word(const char* key, uint32_t dflt) const;
    std::string Text(const char* key, const std::string& dflt) const;
    // The inner blocks of that name, in their order.
    std::vector<const CfgElement*> Blocks(const char* name) const;

    [[noreturn]] static void Fail(const CfgElement& at, const std::string& problem);
    // Fails at the line of a key of this block (the block's own line when it is absent).
    [[noreturn]] void Fail(const char* key, const std::string& problem) const;

  private:
    const CfgElement* Find(const char* key) const;

    const CfgElement& block;
};
