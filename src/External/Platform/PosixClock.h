// The POSIX clock's lock around local-time conversion, as the fork handlers need it.
#pragma once

namespace pdulog_detail::Platform::LocalTime {

// The C library converts local time under a lock of its own, which a fork copies into the
// child held when another thread was converting: the child could then never make a record.
// Every conversion of the library's goes through this lock, which the fork handlers hold
// across a fork, so that none of ours is under way then.
void Lock();
void Unlock();
void ResetInChild();

}  // namespace pdulog_detail::Platform::LocalTime
