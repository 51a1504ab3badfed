// Test-only faults of the platform layer, made at the calls that can fail.
#pragma once

// A build with PDULOG_FAULT_INJECTION counts the calls of the layer that touch files,
// folders, locks and mappings, and makes one of them fail as the system would; the product
// is built without it, where every check below folds away. The faulty build reads its
// orders from the environment:
//   PDULOG_FAULT_AT=N       call N (from 1) fails
//   PDULOG_FAULT_ERRNO=E    with errno E; "short" makes a write stop halfway instead
//   PDULOG_FAULT_LASTING=1  every later call of the same kind fails too (a full disk)
//                           (an EINTR that lasts keeps a call that retries retrying)
//   PDULOG_FAULT_KILL=N     the process is killed at call N, before the call acts
//   PDULOG_FAULT_TRACE=1    each call's name goes to standard output as it is made

namespace pdulog_detail::Platform::Fault {

enum class Outcome {
    kNone,   // the call goes ahead
    kFail,   // the call fails at once; errno is set
    kShort,  // a write moves only part of its bytes
};

#ifdef PDULOG_FAULT_INJECTION
Outcome Inject(const char* call);
#else
constexpr Outcome Inject(const char*) { return Outcome::kNone; }
#endif

inline bool Fails(const char* call) { return Inject(call) == Outcome::kFail; }

}  // namespace pdulog_detail::Platform::Fault
