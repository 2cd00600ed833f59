#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "base/quillon_error.h"

// A growable array with its own lock, used for lists of store indexes.
template <typename T>
class Array {
  public:
    Array() { data.reserve(32); }

    void Append(const T& value) {
        std::lock_guard<std::mutex> hold(lock);
        data.push_back(value);
    }
    void Clear() {
        std::lock_guard<std::mutex> hold(lock);
        data.clear();
    }
    uint32_t Count() {
        std::lock_guard<std::mutex> hold(lock);
        return static_cast<uint32_t>(data.size());
    }
    // Throws QuillonError 13 for a position at or beyond Count().
    T operator[](uint32_t pos) {
        std::lock_guard<std::mutex> hold(lock);
        if (pos >= data.size()) throw QuillonError(ERR_SYSTEM, "Array index out of bounds error");
        return data[pos];
    }

  private:
    std::mutex lock;  // guards data
    std::vector<T> data;
};
