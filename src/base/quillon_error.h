#pragma once

#include <cstdint>
#include <string>

// The codes of QuillonError that the program tells apart by name.
enum ErrorCode : int32_t {
    ERR_BUSY = 7,     // the card answered that it is busy
    ERR_TIMEOUT = 8,  // timed out
    ERR_SYSTEM = 13,  // a system call failed
    ERR_FILTER = 16,  // a filter expression that does not parse
};

// Every reportable failure of the program: a code and the text shown to the user.
struct QuillonError {
    QuillonError(int32_t code, std::string message) : code(code), message(std::move(message)) {}

    int32_t code;
    std::string message;
};
