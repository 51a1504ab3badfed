// The level store: the file of levels that every process maps, and the slots behind the
// gate. Under the lifecycle lock (Lifecycle.h) unless a function says otherwise.
#pragma once

#include <cstdint>

namespace pdulog_detail::LevelStore {

// Opens, creates or pads the store and maps its slots (CLog::OpenLevelStore); the host's
// array stands in while it is in use. False, with a line on standard error, when no levels
// are available.
bool Open();
// Gives up every view, the mapping and the file; the gate lets nothing through afterwards.
void Close();
// The host's array stands in for the store until ReleaseExternal.
void UseExternal(int32_t* levels);
void ReleaseExternal();

// One subsystem's level, read and set as CLog::GetLevel and CLog::SetLevel say. Any thread.
bool Get(int subsystem, int32_t& level);
bool Set(int subsystem, int32_t level);

// Follows the store's file when another file has taken its place, or a short read-only
// store's writer has changed it, once in each second of the wall clock: `second` is the
// caller's reading of WallClock (a record's own, which its header needs anyway). Never
// waits for a lifecycle call in progress. Any thread.
void FollowIfDue(int64_t second);

}  // namespace pdulog_detail::LevelStore
