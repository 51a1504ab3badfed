// A capped init log: past its limit it rolls over into one older file, "<name>.1", under a
// lock that every process writing the log takes to roll it over.
#pragma once

#include "Platform/Platform.h"

#include <cstdint>
#include <cstdio>
#include <string>

namespace pdulog_detail::LogRollover {

// The limit in bytes, 0 for none: the build's (PDULOG_INIT_LOG_LIMIT) until a process sets
// its own. Any thread.
uint64_t Limit();
void SetLimit(uint64_t bytes);

// Rolls the log open as `log` (the file `file`) over when it is past `limit`: renames it to
// "<path>.1", and opens a new log at the path through the checked open, which is returned.
// nullptr, with the log left as it is, when another process holds the lock, the path names
// another file now (rolled over already), the log is no longer past the limit, "<path>.1"
// changed within `quiet` ticks of `now` (processes still writing into it have not followed
// yet), or the rename fails (a reader holds the file on Windows): the log grows rather
// than lose a record.
// `busy` says that another process held the lock: the caller tries again soon.
std::FILE* RollOver(std::FILE* log, const Platform::FileId& file, const std::string& path, uint64_t limit, int64_t now,
                    int64_t quiet, bool& busy);

}  // namespace pdulog_detail::LogRollover
