#include "store/storage.h"

void Storage::AddStoreListener(StoreListener* l) {
    MutexLock hold(lock);
    listener = l;
    l->store = this;
}

void Storage::DelStoreListener(StoreListener* l) {
    MutexLock hold(lock);
    listener = nullptr;
    l->store = nullptr;
}

StoreListener::~StoreListener() {
    if (store) store->DelStoreListener(this);
}
