#include "sim/sim_block.h"

#include <cstring>

#include "base/utils.h"

namespace {

bool Named(std::initializer_list<const char*> names, const std::string& name) {
    for (const char* n : names)
        if (name == n) return true;
    return false;
}

}  // namespace

SimBlock::SimBlock(const CfgElement& block, std::initializer_list<const char*> keys,
                   std::initializer_list<const char*> blocks)
    : block(block) {
    for (size_t i = 0; i < block.children.size(); i++) {
        const CfgElement& child = *block.children[i];
        // An empty block reads back like a key without a value: its name tells them apart.
        const bool isBlock =
            !child.children.empty() || (Named(blocks, child.name) && child.value.empty());
        if (isBlock ? !Named(blocks, child.name) : !Named(keys, child.name))
            Fail(child, Format("unknown %s %s in [%s]", isBlock ? "block" : "key",
                               child.name.c_str(), block.name.c_str()));
        if (isBlock) continue;
        for (size_t j = 0; j < i; j++)
            if (block.children[j]->children.empty() && block.children[j]->name == child.name)
                Fail(child, Format("key %s given twice", child.name.c_str()));
    }
}

const CfgElement* SimBlock::Find(const char* key) const {
    for (const auto& child : block.children)
        if (child->children.empty() && child->name == key) return child.get();
    return nullptr;
}

int64_t SimBlock::Int(const char* key, int64_t dflt, int64_t min, int64_t max) const {
    const CfgElement* e = Find(key);
    if (!e) return dflt;
    bool ok = false;
    const int64_t v = StrToInt(e->value, &ok);
    if (!ok || e->value.empty()) Fail(*e, Format("%s is not a number: %s", key, e->value.c_str()));
    if (v < min || v > max)
        Fail(*e, Format("%s must be %lld to %lld", key, static_cast<long long>(min),
                        static_cast<long long>(max)));
    return v;
}

uint32_t SimBlock::Word(const char* key, uint32_t dflt) const {
    const CfgElement* e = Find(key);
    if (!e) return dflt;
    bool ok = false;
    const int32_t v = StrToInt(e->value, &ok);
    // Hexadecimal words above 0x7FFFFFFF come back negative; a negative decimal is refused.
    if (!ok || e->value.empty() || (v < 0 && e->value.find_first_of("xX") == std::string::npos))
        Fail(*e, Format("%s is not a 32-bit word: %s", key, e->value.c_str()));
    return static_cast<uint32_t>(v);
}

std::string SimBlock::Text(const char* key, const std::string& dflt) const {
    const CfgElement* e = Find(key);
    return e ? e->value : dflt;
}

std::vector<const CfgElement*> SimBlock::Blocks(const char* name) const {
    std::vector<const CfgElement*> found;
    for (const auto& child : block.children)
        if (child->name == name && (!child->children.empty() || child->value.empty()))
            found.push_back(child.get());
    return found;
}

void SimBlock::Fail(const CfgElement& at, const std::string& problem) {
    throw SimConfigError{at.line, problem};
}

void SimBlock::Fail(const char* key, const std::string& problem) const {
    const CfgElement* e = Find(key);
    Fail(e ? *e : block, problem);
}
