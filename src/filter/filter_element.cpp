#include "filter/filter_element.h"

#include <algorithm>

#include "base/utils.h"
#include "store/frame_objects.h"

void FilterElement::SetDesc(const char* text) {
    desc = text ? text : "";
    TrimString(desc);
    descSet = !desc.empty();
}

bool FeCanID::Match(const CANframe& frame) const {
    return (frame.id & mask) == value;
}

void FeCanID::BuildDfltDesc() {
    const char* format =
        mask < 0x10000 && value < 0x10000 ? "CANID & 0x%04x == 0x%04x" : "CANID & 0x%08x == 0x%08x";
    desc = Format(format, mask, value);
}

std::unique_ptr<FilterElement> FeCanID::Copy() const {
    return std::make_unique<FeCanID>(value, mask);
}

bool FeObjID::Match(const CANframe& frame) const {
    if (Passes(frame.objID)) return true;
    return objects && objects->CarriesObject(frame, [this](uint32_t key) { return Passes(key); });
}

bool FeObjID::Passes(uint32_t object) const {
    uint32_t key, found;
    if (subIndex >= 0) {
        key = (index & 0xFFFF) << 16 | (static_cast<uint32_t>(subIndex) & 0xFF);
        found = object;
    } else {
        key = index;
        found = object >> 16;
    }
    switch (compare) {
        case kLess:
            return found < key;
        case kLessEqual:
            return found <= key;
        case kEqual:
            return found == key;
        case kGreaterEqual:
            return found >= key;
        case kGreater:
            return found > key;
        default:
            return false;
    }
}

void FeObjID::BuildDfltDesc() {
    static const char* const kCompareText[] = {"<", "<=", "==", ">=", ">"};
    compare = std::clamp(compare, static_cast<int32_t>(kLess), static_cast<int32_t>(kGreater));
    const char* cmp = kCompareText[compare - kLess];
    desc = subIndex < 0 ? Format("Object ID %s 0x%04x", cmp, index)
                        : Format("Object ID %s 0x%04x.%d", cmp, index, subIndex);
}

std::unique_ptr<FilterElement> FeObjID::Copy() const {
    auto copy = std::make_unique<FeObjID>(index, subIndex, compare);
    copy->objects = objects;
    return copy;
}

bool FePort::Match(const CANframe& frame) const {
    return frame.port == port;
}

void FePort::BuildDfltDesc() {
    desc = Format("Port == %d", static_cast<int>(port));
}

std::unique_ptr<FilterElement> FePort::Copy() const {
    return std::make_unique<FePort>(port);
}
