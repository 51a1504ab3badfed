// The calls outside POSIX that the Posix*.cpp files need: Linux's, the GNU C library's, and
// flock. Nothing else includes it. Everything else in those files is POSIX: a port to
// another system starts here, and at LinuxModule.cpp, which is the GNU loader's throughout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>

#include <stdio_ext.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace pdulog_detail::Platform::Linux {

// The kernel's id of the calling thread, the number that ps and /proc show.
inline uint32_t KernelThreadId() { return static_cast<uint32_t>(::syscall(SYS_gettid)); }

// Puts the pages at `pages` in place of those at `address` in one step: no moment in which a
// reader of `address` finds nothing mapped. False when it could not; `pages` are then kept.
inline bool MovePagesOver(void* pages, std::size_t span, void* address)
{
    return ::mremap(pages, span, span, MREMAP_MAYMOVE | MREMAP_FIXED, address) != MAP_FAILED;
}

// The wall clock as of the last timer tick: no system call, and no reading of the clock's
// hardware.
inline void CoarseRealTime(struct timespec& now) { ::clock_gettime(CLOCK_REALTIME_COARSE, &now); }

// Whether a stream buffers no output and was not last read from: then there is nothing to
// flush before a write past its buffer.
inline bool HoldsNothing(std::FILE* stream) { return ::__fpending(stream) == 0 && ::__freading(stream) == 0; }
inline bool HoldsNoOutput(std::FILE* stream) { return ::__fpending(stream) == 0; }

// A lock on the whole file that the kernel drops with the last descriptor of its opening:
// a process that dies holding it blocks no one. Taken without waiting.
inline int LockWholeFile(int fd) { return ::flock(fd, LOCK_EX | LOCK_NB); }
inline void UnlockWholeFile(int fd) { ::flock(fd, LOCK_UN); }

// A stream's flush and write, for a caller that holds its lock already (flockfile).
inline bool FlushHeld(std::FILE* stream) { return ::fflush_unlocked(stream) == 0; }
inline std::size_t WriteHeld(const char* text, std::size_t length, std::FILE* stream)
{
    return ::fwrite_unlocked(text, 1, length, stream);
}

}  // namespace pdulog_detail::Platform::Linux
