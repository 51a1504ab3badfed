// Descriptor helpers that the POSIX files of this folder share; nothing else includes it.
#pragma once

namespace pdulog_detail::Platform {

// A descriptor that landed on 0, 1 or 2 (the host had closed a standard stream) is moved
// above them.
int AboveStandardStreams(int fd);
// Closes the descriptor with errno left as it was: the failure that led to the close is the
// one reported.
void CloseKeepingError(int fd);

}  // namespace pdulog_detail::Platform
