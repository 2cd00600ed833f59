#include "filter/fe_list.h"

#include <cctype>

std::string FeList::Letter(int slot) {
    std::string name(1, static_cast<char>('A' + slot % 26));
    if (slot >= 26) name += std::to_string(slot / 26);
    return name;
}

FilterElement* FeList::At(int slot) const {
    return slot >= 0 && slot < count ? elements[slot].get() : nullptr;
}

int FeList::Slot(const std::string& name) {
    if (name.empty() || !std::isalpha(static_cast<unsigned char>(name[0]))) return -1;
    int slot = std::toupper(static_cast<unsigned char>(name[0])) - 'A';
    if (name.size() > 1) slot += 26 * (name[1] - '0');
    return slot;
}

std::unique_ptr<FilterElement> FeList::Find(const std::string& name) const {
    if (name.empty()) return nullptr;
    const FilterElement* element = At(Slot(name));
    return element ? element->Copy() : nullptr;
}

bool FeList::Add(std::unique_ptr<FilterElement> element) {
    if (count == kMaxElements) return false;
    elements[count++] = std::move(element);
    return true;
}

void FeList::Delete(int slot) {
    if (!At(slot)) return;
    for (int i = slot; i + 1 < count; i++) elements[i] = std::move(elements[i + 1]);
    elements[--count].reset();
}

void FeList::Replace(int slot, std::unique_ptr<FilterElement> element) {
    Delete(slot);
    Add(std::move(element));
}
