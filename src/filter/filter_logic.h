#pragma once

#include <functional>
#include <memory>
#include <string>

#include "store/can_frame.h"

class ElementLookup;
class FrameObjects;

// A predicate over one frame: the display filter is a tree of these, filter elements at the
// leaves. A plain FilterLogic passes every frame. Trees never change once built, so Match needs
// no lock of its own.
class FilterLogic {
  public:
    virtual ~FilterLogic() = default;
    virtual bool Match(const CANframe& frame) const;
};

// left AND right; right is asked only when left passes.
class FilterAND : public FilterLogic {
  public:
    FilterAND(std::unique_ptr<FilterLogic> left, std::unique_ptr<FilterLogic> right)
        : left(std::move(left)), right(std::move(right)) {}
    bool Match(const CANframe& frame) const override;

  private:
    std::unique_ptr<FilterLogic> left, right;
};

// left OR right; right is asked only when left fails.
class FilterOR : public FilterLogic {
  public:
    FilterOR(std::unique_ptr<FilterLogic> left, std::unique_ptr<FilterLogic> right)
        : left(std::move(left)), right(std::move(right)) {}
    bool Match(const CANframe& frame) const override;

  private:
    std::unique_ptr<FilterLogic> left, right;
};

class FilterNOT : public FilterLogic {
  public:
    explicit FilterNOT(std::unique_ptr<FilterLogic> operand) : operand(std::move(operand)) {}
    bool Match(const CANframe& frame) const override;

  private:
    std::unique_ptr<FilterLogic> operand;
};

// Builds the tree of a filter expression over the element letters of elements, e.g. "(A | B) & !C".
// "&" and "|" have no precedence and group to the right; "!" takes the one operand that follows.
// Blank text passes everything. The leaves are copies of the elements, so later edits in the dialog
// leave the tree as it is; they learn the objects of PDO frames from objects (null: none). Throws
// QuillonError ERR_FILTER with the message for the user.
std::unique_ptr<FilterLogic> CreateFilterLogic(std::string expr, const ElementLookup& elements,
                                               FrameObjects* objects = nullptr);

// The expression with every element name it holds replaced by rename(name), the rest of the text
// as it was. Names are read as the parser reads them (a letter and an optional digit), so "B"
// and "B1" are told apart. Also for an expression that does not parse, so that renaming keeps
// the meaning of one still being written.
std::string RenameElements(const std::string& expr,
                           const std::function<std::string(const std::string& name)>& rename);
