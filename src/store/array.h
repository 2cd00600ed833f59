#pragma once

#include <cstdint>
#include <vector>

#include "base/quillon_error.h"
#include "base/threads_posix.h"

// A growable array with its own lock, used for lists of store indexes.
template <typename T>
class Array {
  public:
    Array() { data.reserve(32); }

    void Append(const T& value) {
        MutexLock hold(lock);
        data.push_back(value);
    }
    void Clear() {
        MutexLock hold(lock);
        data.clear();
    }
    uint32_t Count() {
        MutexLock hold(lock);
        return static_cast<uint32_t>(data.size());
    }
    // Throws QuillonError 13 for a position at or beyond Count().
    T operator[](uint32_t pos) {
        MutexLock hold(lock);
        if (pos >= data.size()) throw QuillonError(ERR_SYSTEM, "Array index out of bounds error");
        return data[pos];
    }

  private:
    Mutex lock;  // guards data
    std::vector<T> data;
};
