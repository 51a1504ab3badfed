// What the record path needs of the level store.
#pragma once

#include <cstdint>

namespace pdulog_detail::LevelStore {

// Follows the store's file when another file has taken its place, or a short read-only
// store's writer has changed it, at most once a second: `now` is the wall clock in
// 100-nanosecond ticks, a reading the caller has made anyway. Never waits for a lifecycle
// call in progress. Any thread.
void FollowIfDue(int64_t now);

}  // namespace pdulog_detail::LevelStore
