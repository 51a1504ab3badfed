// The views that the POSIX fault handler watches, for PosixViews.cpp and PosixFaultHandler.cpp.
#pragma once

#include "Platform.h"

#include <atomic>
#include <cstddef>
#include <cstdint>

#include <sys/types.h>

namespace pdulog_detail::Platform {

constexpr int kWatched = 64;

// What the fault handler needs of a view. Written by the threads that make and give up
// views, read by the handler: every field is atomic, and `start` is set last and
// cleared first.
struct Watched {
    std::atomic<uintptr_t> start {0};  // 0: a free entry
    std::atomic<std::size_t> length {0};
    std::atomic<int> fd {-1};                    // reaches the view's file; -1 once it is closed
    std::atomic<const void*> padding {nullptr};  // the file's default contents
    std::atomic<int> strikes {0};                // faults in a row that padding could not explain
    // Set before `start` is published, read after it: what `fd` must still refer to before
    // the handler writes through it.
    dev_t device = 0;
    ino_t node = 0;
};
extern Watched g_watched[kWatched];
extern std::atomic<bool> g_anyDetached;  // some view reads its defaults, not its file

// The size rounded up to whole pages.
std::size_t Span(std::size_t size);
// Puts private pages filled from `contents` (size bytes, the rest zero) at `address`, in
// one step: a reader sees the old pages or the new ones, never a hole.
bool ReplaceWithPrivate(uintptr_t address, std::size_t size, const void* contents);
// The view at `start` reads `padding` from now on, and no longer follows its file.
void Detach(Watched& view, uintptr_t start, std::size_t length, const void* padding);

// Installs the SIGBUS handler that pads the watched views' files again, once.
void InstallHandler();
// Claims a free entry for the view; false when all are taken.
bool Watch(uintptr_t view, std::size_t size, int fd, const FileId& file, const void* padding);
void Unwatch(uintptr_t view);
// The host's SIGBUS action back, when ours is the one installed.
void GiveBackHostAction();

}  // namespace pdulog_detail::Platform
