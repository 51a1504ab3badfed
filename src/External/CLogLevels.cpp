// The slot array behind the level gate.
#include "CLog.h"

// Defined here, not inline in the header: a shared build must have exactly one array, the
// one that every module's gate reads through the library's export.
std::atomic<int32_t*> CLog::s_levels {nullptr};
