#include "CLog.h"

int main()
{
    const bool ok = CLog::Init(false);
    CLog::Shutdown();
    return ok ? 0 : 1;
}
