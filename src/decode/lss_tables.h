#pragma once

#include <cstdint>
#include <string>

#include "decode/parsed_message.h"
#include "store/can_frame.h"

struct LssRow;
// Decodes the rest of an LSS frame after its command specifier; returns the short description.
using LssHandler = std::string (*)(const LssRow& row, CANframe& frame, ParsedMessage* message);

// One LSS command specifier: its name, and the handler of its family with the family's words.
struct LssRow {
    uint8_t specifier;
    const char* name;
    LssHandler handler;    // null: the short description is "LSS - " and the name
    const char* title;     // value and result families
    const char* field;     // the value named in lines and descriptions; fixed-text rows: the text
    const char* codes[2];  // result family: the texts of error codes 1 and 2, where defined
};

constexpr int kLssCmdRows = 21;
constexpr int kLssRespRows = 11;
// Master commands (identifier 0x7E5) and slave responses (0x7E4), by ascending specifier.
extern const LssRow lssCmd[kLssCmdRows];
extern const LssRow lssResp[kLssRespRows];
