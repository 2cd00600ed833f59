#include "store/storage.h"

bool Storage::Valid(StoreIndex index) const {
    return index >= first && index < first + count;
}

int Storage::GetTotal(StoreIndex* firstOut, StoreIndex* lastOut) {
    std::lock_guard<std::recursive_mutex> hold(lock);
    if (firstOut) *firstOut = first;
    if (lastOut) *lastOut = first + count - 1;
    return count;
}

StoreIndex Storage::GetFirst() {
    std::lock_guard<std::recursive_mutex> hold(lock);
    return first;
}

StoreIndex Storage::GetLast() {
    std::lock_guard<std::recursive_mutex> hold(lock);
    return first + count - 1;
}

Storage::~Storage() {
    if (listener) listener->store = nullptr;
}

void Storage::AddStoreListener(StoreListener* l) {
    std::lock_guard<std::recursive_mutex> hold(lock);
    if (listener && listener != l) listener->store = nullptr;
    listener = l;
    l->store = this;
}

void Storage::DelStoreListener(StoreListener* l) {
    std::lock_guard<std::recursive_mutex> hold(lock);
    if (listener == l) listener = nullptr;
    if (l->store == this) l->store = nullptr;
}

StoreListener::~StoreListener() {
    if (store) store->DelStoreListener(this);
}
