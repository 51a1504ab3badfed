// A capped init log rolled over into "<name>.1", one process at a time.
#include "LogRollover.h"

#include "PdulogIdentity.h"

#include <atomic>

namespace pdulog_detail::LogRollover {

namespace {

std::atomic<uint64_t> g_limit {PDULOG_INIT_LOG_LIMIT};

// The lock on the log's file, given back however the rollover ends.
class FileLock {
public:
    explicit FileLock(int fd) : m_fd(Platform::TryLockFile(fd) ? fd : -1) {}
    ~FileLock()
    {
        if (m_fd >= 0)
            Platform::UnlockFile(m_fd);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool Held() const { return m_fd >= 0; }

private:
    int m_fd;
};

}  // namespace

uint64_t Limit() { return g_limit.load(std::memory_order_relaxed); }

void SetLimit(uint64_t bytes) { g_limit.store(bytes, std::memory_order_relaxed); }

std::FILE* RollOver(std::FILE* log, const Platform::FileId& file, const std::string& path, uint64_t limit, int64_t now,
                    int64_t quiet, bool& busy)
{
    const int fd = Platform::StreamDescriptor(log);
    const FileLock lock(fd);
    // Another process rolls it over, or (Windows) is writing a record under the same lock.
    busy = !lock.Held();
    if (busy)
        return nullptr;
    // Measured again under the lock: another process may have rolled it over meanwhile.
    uint64_t size = 0;
    if (!Platform::SameFile(Platform::IdentifyPath(path), file) || !Platform::FileSize(fd, size) || size <= limit)
        return nullptr;
    const std::string rolled = path + ".1";
    const int64_t changed = Platform::LastChangeTicks(rolled);
    if (changed != 0 && now - changed < quiet && changed - now < quiet)
        return nullptr;
    if (!Platform::RenameReplacing(path, rolled))
        return nullptr;
    return Platform::OpenLogStream(path, Platform::LogOpening::kAppend);
}

}  // namespace pdulog_detail::LogRollover
