// Item records as a D-PDU API implementation hands them out: plain storage of the record's
// own size, zero-filled, with its type set. DestroyItem releases them as plain storage.
#pragma once

#include "PduApi.h"

#include <cstring>
#include <new>

template <typename T>
T* NewItem(T_PDU_IT type)
{
    T* item = static_cast<T*>(::operator new(sizeof(T)));
    std::memset(static_cast<void*>(item), 0, sizeof(T));
    item->ItemType = type;
    return item;
}
