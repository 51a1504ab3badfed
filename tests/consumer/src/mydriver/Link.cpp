// The driver's link to a vehicle interface; what the application loads is its C entry
// points at the bottom. Every logging site is one line.
#include <pdulog/CLog.h>

#include <thread>

// The tests build a driver with the kind of pdulog they expect the package to have chosen.
#if defined(PDULOG_EXPECT_SHARED) && PDULOG_EXPECT_SHARED != PDULOG_SHARED_LIBRARY
#error "the package did not say which kind of pdulog this driver uses"
#endif

#ifdef _WIN32
#define DRIVER_EXPORT extern "C" __declspec(dllexport)
#else
#define DRIVER_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace mydriver {

class Link {
public:
    // True once COMMS admits INFO: the level that pdu-loglevel sets reaches the driver's
    // next logging decision.
    bool Poll(int id)
    {
        if (!CLog::Enabled(LL_INFO, LS_COMMS))
            return false;
        PDULOG(LL_INFO, LS_COMMS) << "connected to " << id;
        return true;
    }
};

Link g_link;

}  // namespace mydriver

DRIVER_EXPORT int DriverStart()
{
    return CLog::Init(false) ? 1 : 0;  // opens (or creates) the shared level store
}

// The same, for a host that wants the driver's records in the init log file.
DRIVER_EXPORT int DriverStartWithInitLog() { return CLog::Init(true) ? 1 : 0; }

DRIVER_EXPORT int DriverPoll(int id) { return mydriver::g_link.Poll(id) ? 1 : 0; }

// One record from the application's thread, which lives on, and one from a worker thread
// of the driver's own, ended when this returns.
DRIVER_EXPORT void DriverReport(int id)
{
    PDULOG(LL_WARN, LS_COMMS) << "link " << id << " reported";
    std::thread([id] { PDULOG(LL_WARN, LS_COMMS) << "link " << id << " released"; }).join();
}

DRIVER_EXPORT void DriverStop() { CLog::Shutdown(); }
