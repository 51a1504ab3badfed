// The faulty build's counter of platform calls (see FaultInjection.h).
#include "FaultInjection.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace pdulog_detail::Platform::Fault {

namespace {

long Number(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? std::strtol(value, nullptr, 10) : 0;
}

}  // namespace

Outcome Inject(const char* call)
{
    static const long failAt = Number("PDULOG_FAULT_AT");
    static const long killAt = Number("PDULOG_FAULT_KILL");
    static const bool trace = Number("PDULOG_FAULT_TRACE") != 0;
    static const bool lasting = Number("PDULOG_FAULT_LASTING") != 0;
    static const char* failing = nullptr;  // the kind of call that failed, while it lasts
    static const char* const error = std::getenv("PDULOG_FAULT_ERRNO");
    static long count = 0;

    ++count;
    if (trace) {
        std::printf("%s\n", call);
        std::fflush(stdout);
    }
    if (count == killAt) {
#ifdef SIGKILL
        std::raise(SIGKILL);
#endif
        std::_Exit(137);
    }
    if (count == failAt && lasting)
        failing = call;
    if (count != failAt && (failing == nullptr || std::strcmp(call, failing) != 0))
        return Outcome::kNone;
    if (error != nullptr && std::strcmp(error, "short") == 0)
        return std::strcmp(call, "Write") == 0 ? Outcome::kShort : Outcome::kNone;
    errno = error != nullptr ? std::atoi(error) : EIO;
    return Outcome::kFail;
}

}  // namespace pdulog_detail::Platform::Fault
