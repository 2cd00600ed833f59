#include "decode/sdo.h"

#include "decode/parser.h"

void SDO::scan(int, CANframe&) {}

std::string SDO::parse(CANframe& frame, ParsedMessage* message) {
    return Parser().doParse(frame, message);
}

std::string SDO::getShortDesc(CANframe& frame) {
    return Parser().doParse(frame, nullptr);
}
