// Internal to pdulog, not for hosts: how the gate and the library read and write a slot of
// the shared store.
#pragma once

#include <atomic>
#include <cstdint>

namespace pdulog_detail {

// A slot is read as the memory model allows a value that another thread or process writes
// meanwhile: a relaxed atomic load, the same single instruction as a plain read.
static_assert(sizeof(std::atomic<int32_t>) == sizeof(int32_t) && std::atomic<int32_t>::is_always_lock_free,
              "a slot of the shared store must be readable as a lock-free atomic");
inline int32_t ReadSlot(const int32_t* levels, int subsystem) noexcept
{
    return reinterpret_cast<const std::atomic<int32_t>*>(levels)[subsystem].load(std::memory_order_relaxed);
}
inline void WriteSlot(int32_t* levels, int subsystem, int32_t level) noexcept
{
    reinterpret_cast<std::atomic<int32_t>*>(levels)[subsystem].store(level, std::memory_order_relaxed);
}
}  // namespace pdulog_detail
