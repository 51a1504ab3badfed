// The slot array behind the level gate and the checked access to one slot.
#include "CLog.h"

#include "Platform/Platform.h"

// Defined here, not inline in the header: a shared build must have exactly one array, the
// one that every module's gate reads through the library's export.
int32_t* CLog::s_levels = nullptr;

bool CLog::GetLevel(int subsystem, int32_t& level)
{
    const volatile int32_t* levels = s_levels;
    if (levels == nullptr || subsystem < 0 || subsystem >= kLogSubsystemCount)
        return false;
    level = levels[subsystem];
    return true;
}

bool CLog::SetLevel(int subsystem, int32_t level)
{
    volatile int32_t* levels = s_levels;
    if (levels == nullptr || subsystem < 0 || subsystem >= kLogSubsystemCount || level < LL_OFF
        || level >= kLogLevelCount)
        return false;
    levels[subsystem] = level;  // seen at once by every process that maps the store
    // A store whose file could not back the write any more (a full disk under an emptied
    // store) took the level into the defaults it reads now, not into the file.
    return Platform::ViewFollowsFile(const_cast<const int32_t*>(levels));
}
