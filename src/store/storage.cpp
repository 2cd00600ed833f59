#include "store/storage.h"

Storage::~Storage() {
    if (listener) listener->store = nullptr;
}

void Storage::AddStoreListener(StoreListener* l) {
    MutexLock hold(lock);
    if (listener && listener != l) listener->store = nullptr;
    listener = l;
    l->store = this;
}

void Storage::DelStoreListener(StoreListener* l) {
    MutexLock hold(lock);
    if (listener == l) listener = nullptr;
    if (l->store == this) l->store = nullptr;
}

StoreListener::~StoreListener() {
    if (store) store->DelStoreListener(this);
}
