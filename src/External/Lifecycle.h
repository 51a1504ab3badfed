// The lock of the facility's lifecycle, held by CLog.cpp and taken by the level store.
#pragma once

#include <mutex>

namespace pdulog_detail {

// Every start, stop and move of the sink takes it; the gate and the records never do.
std::recursive_mutex& LifecycleMutex();
using LifecycleLock = std::lock_guard<std::recursive_mutex>;

}  // namespace pdulog_detail
