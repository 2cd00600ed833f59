#include "filter/filter_logic.h"

#include <cctype>

#include "base/quillon_error.h"
#include "base/utils.h"
#include "filter/element_lookup.h"
#include "filter/fe_list.h"
#include "filter/filter_element.h"

namespace {

// Every operand and operator adds a level of recursion here and in Match; beyond this depth a
// pasted text could overflow a thread's stack.
constexpr int kMaxDepth = 1000;

// The length of the element name at s[at]: a letter and an optional digit.
size_t NameLength(const std::string& s, size_t at) {
    return at + 1 < s.size() && s[at + 1] >= '0' && s[at + 1] <= '9' ? 2 : 1;
}

[[noreturn]] void Fail(const std::string& message) {
    throw QuillonError(ERR_FILTER, message);
}

std::unique_ptr<FilterLogic> Sub(std::string s, const ElementLookup& elements, int depth);

std::unique_ptr<FilterLogic> Arg(std::string& s, const ElementLookup& elements, int depth) {
    if (depth > kMaxDepth) Fail("Error parsing filter string: too deeply nested");
    TrimString(s);
    if (s.empty()) Fail("Error parsing filter string");
    if (s[0] == '!') {
        s.erase(0, 1);
        return std::make_unique<FilterNOT>(Arg(s, elements, depth + 1));
    }
    if (s[0] == '(') {
        size_t close = 1;
        for (int open = 1; close < s.size(); close++) {
            if (s[close] == '(') open++;
            if (s[close] == ')' && --open == 0) break;
        }
        if (close >= s.size()) Fail("Error parsing filter string: Unbalanced parenthesis");
        std::string inner = s.substr(1, close - 1);
        s.erase(0, close + 1);
        return Sub(std::move(inner), elements, depth + 1);
    }
    if (!std::isalpha(static_cast<unsigned char>(s[0])))
        Fail("Error parsing filter string at: " + s);
    const size_t length = NameLength(s, 0);
    const std::string name = s.substr(0, length);
    s.erase(0, length);
    std::unique_ptr<FilterElement> element = elements.Find(name);
    // Deleting an element leaves this name where the expression named it.
    if (!element && name == FeList::kDeletedName)
        Fail(Format("The expression names a deleted filter element (shown as %s)", name.c_str()));
    if (!element) Fail(Format("Undefined filter element %s in string", name.c_str()));
    return element;
}

std::unique_ptr<FilterLogic> Sub(std::string s, const ElementLookup& elements, int depth) {
    if (depth > kMaxDepth) Fail("Error parsing filter string: too deeply nested");
    TrimString(s);
    if (s.empty()) Fail("Error parsing filter (empty string).");
    std::unique_ptr<FilterLogic> left = Arg(s, elements, depth + 1);
    TrimString(s);
    if (s.empty()) return left;
    const char op = s[0];
    if (op != '&' && op != '|') Fail(Format("Unknown operator in string: %c", op));
    std::unique_ptr<FilterLogic> right = Sub(s.substr(1), elements, depth + 1);
    if (op == '|') return std::make_unique<FilterOR>(std::move(left), std::move(right));
    return std::make_unique<FilterAND>(std::move(left), std::move(right));
}

}  // namespace

bool FilterLogic::Match(const CANframe&) const {
    return true;
}

bool FilterAND::Match(const CANframe& frame) const {
    return left->Match(frame) && right->Match(frame);
}

bool FilterOR::Match(const CANframe& frame) const {
    return left->Match(frame) || right->Match(frame);
}

bool FilterNOT::Match(const CANframe& frame) const {
    return !operand->Match(frame);
}

std::unique_ptr<FilterLogic> CreateFilterLogic(std::string expr, const ElementLookup& elements,
                                               FrameObjects* objects) {
    TrimString(expr);
    if (expr.empty()) return std::make_unique<FilterLogic>();
    // The leaves, as they are copied, learn where the objects of PDO frames are known.
    struct Attaching : ElementLookup {
        Attaching(const ElementLookup& elements, FrameObjects* objects)
            : elements(elements), objects(objects) {}
        std::unique_ptr<FilterElement> Find(const std::string& name) const override {
            std::unique_ptr<FilterElement> element = elements.Find(name);
            if (element) element->SetFrameObjects(objects);
            return element;
        }
        const ElementLookup& elements;
        FrameObjects* objects;
    } attaching(elements, objects);
    return Sub(std::move(expr), attaching, 0);
}

std::string RenameElements(const std::string& expr,
                           const std::function<std::string(const std::string& name)>& rename) {
    // Every letter of an expression starts a name: operands are names, "!" or "(", and
    // operators, parentheses and blanks hold no letter.
    std::string renamed;
    for (size_t at = 0; at < expr.size();) {
        if (!std::isalpha(static_cast<unsigned char>(expr[at]))) {
            renamed += expr[at++];
            continue;
        }
        const size_t length = NameLength(expr, at);
        renamed += rename(expr.substr(at, length));
        at += length;
    }
    return renamed;
}
