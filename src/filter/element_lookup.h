#pragma once

#include <memory>
#include <string>

class FilterElement;

// Where filter expressions find the elements they name by letter (the element list).
class ElementLookup {
  public:
    // A copy of the element named name ("a" is "A", "A0" is "A"), or null when no element has
    // that name.
    virtual std::unique_ptr<FilterElement> Find(const std::string& name) const = 0;

  protected:
    ~ElementLookup() = default;
};
