#pragma once

#include <array>
#include <memory>
#include <string>

#include "filter/element_lookup.h"
#include "filter/filter_element.h"

// The element list of the filter dialog and of quillon-dump: up to 50 elements in slots
// 0..Count()-1 without gaps, each named by the letter of its slot ("A".."Z", then "A1".."X1").
// Deleting or replacing an element moves the later ones up a letter. GUI thread only.
class FeList : public ElementLookup {
  public:
    static constexpr int kMaxElements = 50;

    // What the mentions of a deleted element become in an expression: a name beyond every slot,
    // so that the expression is refused until it is written again.
    static constexpr const char* kDeletedName = "Z9";

    // "A" for slot 0, "Z" for 25, "A1" for 26, "X1" for 49.
    static std::string Letter(int slot);
    // The slot a name stands for ("a" and "A0" are "A"); -1 for a text that is no name. Slots
    // beyond the list are given as they are.
    static int Slot(const std::string& name);

    int Count() const { return count; }
    // The element in slot, or null.
    FilterElement* At(int slot) const;
    std::unique_ptr<FilterElement> Find(const std::string& name) const override;
    // Appends; when all slots are full the element is dropped and false returned.
    bool Add(std::unique_ptr<FilterElement> element);
    // Removes the element in slot, when there is one.
    void Delete(int slot);
    // Removes the element in slot, when there is one, and appends element: an edited element
    // moves to the end of the list.
    void Replace(int slot, std::unique_ptr<FilterElement> element);

  private:
    std::array<std::unique_ptr<FilterElement>, kMaxElements> elements;
    int count = 0;
};
