#pragma once

#include <cstdint>
#include <string>

// Codes shared by QuillonError and the integer results of the thread layer.
enum ErrorCode : int32_t {
    ERR_OK = 0,
    ERR_RANGE = 1,             // argument out of range
    ERR_TIMEOUT = 8,           // timed out
    ERR_SYSTEM = 13,           // a system call failed
    ERR_NO_MEMORY = 14,        // out of memory
    ERR_FILTER = 16,           // a filter expression that does not parse
    ERR_ALREADY_STARTED = 19,  // thread already started
};

// Every reportable failure of the program: a code and the text shown to the user.
struct QuillonError {
    QuillonError(int32_t code, std::string message) : code(code), message(std::move(message)) {}

    int32_t code;
    std::string message;
};
