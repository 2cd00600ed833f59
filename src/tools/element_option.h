#pragma once

#include <memory>
#include <string>

#include "filter/filter_element.h"

// A filter element from quillon-dump's -e ELEMENT:
//   id:MASK:VALUE                  FeCanID
//   obj:INDEX[:SUB|:any][:CMP]     FeObjID; SUB default any; CMP < <= == >= >, default ==
//   port:N                         FePort
// Numbers are read as the element dialog reads them (decimal, or hexadecimal after 0x), but may
// not be blank. Throws QuillonError ERR_FILTER with the element dialog's texts where it has one.
std::unique_ptr<FilterElement> ParseElementOption(const std::string& text);
