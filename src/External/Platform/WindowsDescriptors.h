// Descriptor helpers that the Windows files of this folder share; nothing else includes it.
#pragma once

#include "Platform.h"

#include <windows.h>

namespace pdulog_detail::Platform {

HANDLE OsHandle(int fd);
// A descriptor that landed on 0, 1 or 2 (the host had closed a standard stream) is moved
// above them.
int AboveStandardStreams(int fd);
// What the file is, from the information the system gave about it.
FileId Identity(const BY_HANDLE_FILE_INFORMATION& info);
// A lock on one byte far past any content the store or a log can have, between processes.
bool TryLockRegion(HANDLE file);
void UnlockRegion(HANDLE file);

}  // namespace pdulog_detail::Platform
