#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "filter/filter_logic.h"

class FrameObjects;

// One elementary test on a frame, listed under a letter in the filter dialog and named by that
// letter in filter expressions. Besides its test it carries the description the dialog shows.
class FilterElement : public FilterLogic {
  public:
    // Writes the description made from the element's values into desc.
    virtual void BuildDfltDesc() = 0;
    // The kind: 0 identifier, 1 CANopen object, 2 port (the dialog's type choice).
    virtual int feType() const = 0;
    // A user description, trimmed; blank text brings the default description back.
    virtual void SetDesc(const char* text);
    // A new element of the same kind with the same test and no user description.
    virtual std::unique_ptr<FilterElement> Copy() const = 0;
    // Where an element that tests CANopen objects learns those of PDO frames; null for none.
    virtual void SetFrameObjects(FrameObjects*) {}

    std::string desc;
    bool descSet = false;  // desc holds the user's text; otherwise it is rebuilt when shown
};

// Passes frames whose identifier, under mask, equals value (all 32 bits as stored; the extended
// flag takes no part).
class FeCanID : public FilterElement {
  public:
    FeCanID(uint32_t value, uint32_t mask) : value(value), mask(mask) {}
    bool Match(const CANframe& frame) const override;
    void BuildDfltDesc() override;
    int feType() const override { return 0; }
    std::unique_ptr<FilterElement> Copy() const override;

    uint32_t value;
    uint32_t mask;
};

// Passes frames by the CANopen object their SDO transfer addresses (the frame's objID, index in
// the upper 16 bits, sub-index in the low 8), compared as unsigned: frame on the left; and PDO
// frames by the objects their mapping carries, any of them.
class FeObjID : public FilterElement {
  public:
    // Comparison codes.
    enum { kLess = -2, kLessEqual = -1, kEqual = 0, kGreaterEqual = 1, kGreater = 2 };

    FeObjID(uint32_t index, int32_t subIndex, int32_t compare)
        : index(index), subIndex(subIndex), compare(compare) {}
    // Also passes PDO frames whose mapping carries a matching object, as objects knows them.
    void SetFrameObjects(FrameObjects* known) override { objects = known; }
    bool Match(const CANframe& frame) const override;
    // Also clamps compare into kLess..kGreater.
    void BuildDfltDesc() override;
    int feType() const override { return 1; }
    std::unique_ptr<FilterElement> Copy() const override;

    uint32_t index;
    int32_t subIndex;  // 0..255, or -1 for any: then only the index is compared
    int32_t compare;   // outside kLess..kGreater nothing passes

  private:
    // Whether an object key (index << 16 | sub-index) passes.
    bool Passes(uint32_t key) const;

    FrameObjects* objects = nullptr;
};

class FePort : public FilterElement {
  public:
    explicit FePort(uint32_t port) : port(port) {}
    bool Match(const CANframe& frame) const override;
    void BuildDfltDesc() override;
    int feType() const override { return 2; }
    std::unique_ptr<FilterElement> Copy() const override;

    uint32_t port;
};
