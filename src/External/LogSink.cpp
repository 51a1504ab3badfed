// The log sink and its moves, safe against records that other threads are writing: a
// writer counts itself into the stream it writes to, and a move waits until the stream it
// replaces has no writer left before it closes or hands it back.
#include "LogSink.h"

#include <pdulog/CLog.h>  // PDULOG_COLD
#include "LogRollover.h"
#include "Platform/BoundedWait.h"
#include "Platform/Platform.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

namespace pdulog_detail::LogSink {

namespace {

// How long a move waits for records in flight: a writer that takes longer is blocked (a
// pipe nobody reads), and waiting on it would hang the host's shut-down.
constexpr std::chrono::milliseconds kDrainWait {1000};
constexpr int kSlots = 8;
// Records to the init log check that its path still names the open file once in each second
// of the wall clock they are written in: often enough that a log deleted or rotated under
// the host loses at most a second of records, rarely enough that the check costs nothing
// next to them. A rollover leaves two checks' time (in wall-clock ticks of 100 ns) to the
// other processes' records.
constexpr int64_t kRolloverQuietTicks = 20000000;

enum class State {
    kFree,
    kCurrent,
    kLeftOpen,  // replaced while a writer was stuck in it: closed once the writer is out
};

// A stream that is, or was, the sink. Slots are reused, never freed: a writer that read
// the current slot just before a move may still count itself in, see that the slot is no
// longer current, and count itself out again.
struct Slot {
    std::atomic<int> writers {0};
    // Set by a move before the slot is published as current; read by writers after they
    // have seen it current. The stream is nullptr in the init log's slot while a deleted
    // log could not be opened again.
    std::FILE* stream = nullptr;
    int fd = -1;  // the stream's descriptor
    Platform::StreamRisk risk = Platform::StreamRisk::kNone;
    // The init log, on a descriptor the library opened itself: written without its stream.
    bool ownDescriptor = false;
    Platform::FileId file;
    // The init log's path, the slot's own copy; nullptr for any other stream. Freed when
    // the slot is free again (a plain pointer, not a string: a slot has no destructor to
    // run while other threads still log at the process's end).
    char* path = nullptr;
    // The wall-clock second of the record that last checked the path.
    std::atomic<int64_t> checked {0};
    State state = State::kFree;  // under g_moves
    // A record was cut short and its line not ended: the next record ends it first.
    std::atomic<bool> cut {false};
    // Bytes written to a capped init log since its size was last measured.
    std::atomic<uint64_t> unmeasured {0};
};

Slot g_slots[kSlots];
std::atomic<Slot*> g_current {nullptr};
std::mutex g_moves;  // one move at a time
// The thread that ends the process (exit(), a return from main, its last thread's end);
// 0 before. The records in flight have then been waited for, and only this thread still
// writes, so that no record is cut off when the other threads are stopped.
std::atomic<uint32_t> g_endingThread {0};

bool IsStandardStream(std::FILE* stream) { return stream == stdin || stream == stdout || stream == stderr; }

Platform::FileId Identify(std::FILE* stream) { return Platform::IdentifyFile(Platform::StreamDescriptor(stream)); }

// The host's standard streams stay open for the host, and are not even flushed: records
// never wait in a stream's buffer, and a host thread stuck in one would hold the move up.
// A stream whose descriptor's number the host has given to a file of its own is abandoned,
// neither flushed nor closed.
void Close(std::FILE* stream, const Platform::FileId& file)
{
    if (stream == nullptr || IsStandardStream(stream))
        return;
    const int fd = Platform::StreamDescriptor(stream);
    if (fd < 0 || Platform::StillRefersTo(fd, file))
        std::fclose(stream);
}

// Whether the slot's stream still writes to the file it was opened on: a host that closed
// descriptors it did not own may have given the number to a file of its own.
bool StillOurs(const Slot& slot)
{
    const int fd = slot.stream != nullptr ? Platform::StreamDescriptor(slot.stream) : -1;
    return fd < 0 || Platform::StillRefersTo(fd, slot.file);
}

// Under g_moves, once no writer is left in the slot.
void Release(Slot& slot)
{
    slot.state = State::kFree;
    std::free(slot.path);
    slot.path = nullptr;
}

// The slot a writer counted itself into has been moved meanwhile, or the process ends.
PDULOG_COLD Slot* EnterAgain(Slot* slot)
{
    for (;;) {
        const uint32_t ending = g_endingThread.load();
        if (g_current.load() == slot && (ending == 0 || ending == Platform::CurrentThreadId()))
            return slot;
        slot->writers.fetch_sub(1);  // not this record's stream
        if (g_current.load() == slot || (slot = g_current.load()) == nullptr)
            return nullptr;
        slot->writers.fetch_add(1);
    }
}

Slot* Enter()
{
    Slot* slot = g_current.load();
    if (slot == nullptr)
        return nullptr;
    slot->writers.fetch_add(1);
    return g_current.load() == slot && g_endingThread.load() == 0 ? slot : EnterAgain(slot);
}

// A writer counted into its slot until it leaves, also when its thread is cancelled in the
// write.
class Counted {
public:
    explicit Counted(Slot* slot) : m_slot(slot) {}
    ~Counted() { Leave(); }
    Counted(const Counted&) = delete;
    Counted& operator=(const Counted&) = delete;
    Slot* get() const { return m_slot; }
    void Leave()
    {
        if (m_slot != nullptr)
            m_slot->writers.fetch_sub(1);
        m_slot = nullptr;
    }
    void Enter() { m_slot = LogSink::Enter(); }

private:
    Slot* m_slot;
};

bool Drained(const Slot& slot)
{
    return Platform::WaitUntil(kDrainWait, std::chrono::microseconds(100), [&slot] {
        return slot.writers.load() == 0 ? Platform::Attempt::kDone : Platform::Attempt::kBusy;
    });
}

// The process begins to end: its other threads may go on running for a while, then stop
// wherever they are. The records they are writing are waited for, a bounded time (one
// stuck in a pipe nobody reads is not waited for longer), and no other thread begins one;
// this thread's own records are still written. Registered once with the exit handlers (in
// a plugin, the C library runs them at its unload too, when no thread is in the library
// any more). Where the other threads are gone already (a Windows DLL at the process's end),
// a record they left unfinished is not waited for.
void AtTheEnd()
{
    g_endingThread.store(Platform::CurrentThreadId());
    if (Platform::OtherThreadsGone())
        return;
    // Every stream's, not only the sink's: a move or a Shutdown in progress has just taken
    // the sink from writers still in it.
    Platform::WaitUntil(kDrainWait, std::chrono::microseconds(100), [] {
        for (const Slot& slot : g_slots)
            if (slot.writers.load() != 0)
                return Platform::Attempt::kBusy;
        return Platform::Attempt::kDone;
    });
}

// Closes the streams left open whose writers have come out since. Under g_moves.
void Sweep()
{
    for (Slot& slot : g_slots)
        if (slot.state == State::kLeftOpen && slot.writers.load() == 0) {
            Close(slot.stream, slot.file);
            Release(slot);
        }
}

// A slot made ready for `stream`; nullptr when every slot holds a stream that a writer is
// stuck in (or the path cannot be copied). Under g_moves.
Slot* Prepare(std::FILE* stream, const char* initLogPath)
{
    for (Slot& slot : g_slots)
        if (slot.state == State::kFree && slot.writers.load() == 0) {
            char* path = nullptr;
            if (initLogPath != nullptr) {
                const std::size_t size = std::strlen(initLogPath) + 1;
                if ((path = static_cast<char*>(std::malloc(size))) == nullptr)
                    return nullptr;
                std::memcpy(path, initLogPath, size);
            }
            slot.stream = stream;
            slot.fd = stream != nullptr ? Platform::StreamDescriptor(stream) : -1;
            slot.risk = stream != nullptr ? Platform::RiskOf(stream) : Platform::StreamRisk::kNone;
            slot.ownDescriptor = path != nullptr && slot.risk == Platform::StreamRisk::kNone;
            slot.file = stream != nullptr ? Identify(stream) : Platform::FileId();
            slot.path = path;
            slot.checked.store(0);
            slot.unmeasured.store(0);
            // A log whose last line a process ending in its write cut short gets its line
            // ended before any record, while no writer can reach it yet.
            const bool cut = stream != nullptr && path != nullptr && !Platform::LogEndsLine(stream)
                             && Platform::WriteRecord(stream, "\n", 1, slot.risk, Platform::StreamOrigin::kOwnLog) != 1;
            slot.cut.store(cut);
            slot.state = State::kCurrent;
            static const bool watching = std::atexit(AtTheEnd) == 0;
            (void)watching;
            return &slot;
        }
    return nullptr;
}

// Makes `stream` the sink in place of the current one. Under g_moves.
std::FILE* Replace(std::FILE* stream, const char* initLogPath, Previous previous)
{
    Slot* next = nullptr;
    if (stream != nullptr || initLogPath != nullptr) {
        next = Prepare(stream, initLogPath);
        if (next == nullptr) {  // no room beside the stuck streams: the sink stays as it was
            if (stream != nullptr)
                Close(stream, Identify(stream));
            return nullptr;
        }
    }
    Slot* old = g_current.exchange(next);
    if (old == nullptr)
        return nullptr;
    if (!Drained(*old)) {
        old->state = State::kLeftOpen;
        return nullptr;
    }
    Release(*old);
    // A standard stream is the host's, never the caller's to close; nor is a stream whose
    // descriptor now refers to a file of the host's (Close abandons it).
    if (previous == Previous::kHandBack && !IsStandardStream(old->stream) && StillOurs(*old))
        return old->stream;
    Close(old->stream, old->file);
    return nullptr;
}

// Whether this record checks the init log's path: the first one in a later second than the
// last check (or an earlier one: the clock was set back) takes the check for itself.
bool CheckDue(Slot& slot, int64_t second)
{
    int64_t last = slot.checked.load(std::memory_order_relaxed);
    return second != last && slot.checked.compare_exchange_strong(last, second, std::memory_order_relaxed);
}

// A log deleted or rotated under the host: its path names another file or none. Records
// follow the path into a file opened as the first one was; what stands there and is
// refused (a link, a FIFO, another user's file) leaves the sink as it was. Called by a
// writer that is counted into no slot, so that the move can wait for the others.
PDULOG_COLD void FollowPath(const Slot* seen)
{
    const Platform::CancellationHeld held;  // a move half made would leave a stream to nobody
    const std::lock_guard<std::mutex> lock(g_moves);
    if (g_current.load() != seen || seen->path == nullptr)
        return;  // moved meanwhile, to the init log no more
    if (seen->stream != nullptr && StillOurs(*seen)
        && (!seen->file.known || Platform::SameFile(Platform::IdentifyPath(seen->path), seen->file)))
        return;
    const std::string path = seen->path;  // the slot's copy goes with the slot
    std::FILE* file = Platform::OpenLogStream(path, Platform::LogOpening::kAppend);
    if (file == nullptr && seen->stream != nullptr && Platform::DeletedFileMayHoldItsPath()) {
        // Our own handle of the deleted file may be what keeps the path: it goes first, and
        // records are dropped until the path can be opened, at this or a later check.
        Replace(nullptr, path.c_str(), Previous::kClose);
        file = Platform::OpenLogStream(path, Platform::LogOpening::kAppend);
    }
    if (file != nullptr)
        Replace(file, path.c_str(), Previous::kClose);
}

// Whether a capped log is measured after this record: after every sixteenth of the limit
// that this process has written, rarely enough that the measuring costs nothing next to
// the records.
bool MeasureDue(Slot& slot, std::size_t written, uint64_t limit)
{
    if (slot.unmeasured.fetch_add(written, std::memory_order_relaxed) + written < limit / 16)
        return false;
    slot.unmeasured.store(0, std::memory_order_relaxed);
    return true;
}

// A capped init log past its limit rolls over, and its new file becomes the sink. Other
// processes follow at their next check of the path; until then they write into the rolled
// file, and no rollover comes within two checks of the last one, so that none of their
// records is rolled away. So a log passes its limit by what is written in those two
// seconds. Called by a writer that is counted into no slot.
PDULOG_COLD void RollOverIfPast(Slot* seen, uint64_t limit)
{
    const Platform::CancellationHeld held;  // a move half made would leave a stream to nobody
    const std::lock_guard<std::mutex> lock(g_moves);
    if (g_current.load() != seen || seen->path == nullptr || seen->stream == nullptr || !StillOurs(*seen))
        return;
    const std::string path = seen->path;  // the slot's copy goes with the slot
    bool busy = false;
    const int64_t now = Platform::CoarseWallClockTicks();
    if (std::FILE* file = LogRollover::RollOver(seen->stream, seen->file, path, limit, now, kRolloverQuietTicks, busy))
        Replace(file, path.c_str(), Previous::kClose);
    else if (busy)  // measured again at the next record, not a sixteenth of the limit later
        seen->unmeasured.store(limit, std::memory_order_relaxed);
}

// The sink's follow-up, on the first record written in each second of the wall clock to the
// init log: its path is checked, and followed into a new file when it names another or none
// (FollowPath). By the clock as it is at the write, not when the record began: a record that
// took seconds to compose would otherwise go into a file that was rotated, or rolled over and
// then replaced, meanwhile. The slot the record is written to.
Slot* FollowUp(Counted& counted)
{
    Slot* slot = counted.get();
    if (slot == nullptr || slot->path == nullptr || !CheckDue(*slot, Platform::CoarseWallClockSeconds()))
        return slot;
    counted.Leave();
    FollowPath(slot);
    counted.Enter();
    return counted.get();
}

// The first record's stream becomes the sink when there is none; whether there may be one
// now. Another record or a move may have set one since this record found none: it is the
// record's sink then.
PDULOG_COLD bool AdoptIfNone(std::FILE* stream)
{
    if (stream == nullptr)
        return false;
    if (g_current.load() != nullptr)
        return true;
    const Platform::CancellationHeld held;
    const std::lock_guard<std::mutex> lock(g_moves);
    if (g_current.load() == nullptr)
        if (Slot* slot = Prepare(stream, nullptr))
            g_current.store(slot);
    return true;
}

// What reached the file of a record cut short (a disk that filled up, a process that ended in
// its write) is ended with a line end, so that no record is glued to it.
bool EndLine(const Slot& slot)
{
    const auto origin = slot.path != nullptr ? Platform::StreamOrigin::kOwnLog : Platform::StreamOrigin::kOther;
    return Platform::WriteRecord(slot.stream, "\n", 1, slot.risk, origin) == 1;
}

}  // namespace

void Write(const char* text, std::size_t length, std::FILE* adopt)
{
    Counted counted(Enter());
    if (counted.get() == nullptr && AdoptIfNone(adopt))
        counted.Enter();
    Slot* slot = FollowUp(counted);
    if (slot == nullptr || slot->stream == nullptr)  // no sink, or the init log not open again yet
        return;
    // One writer ends the line: two would leave an empty one.
    if (slot->cut.load(std::memory_order_relaxed) && slot->cut.exchange(false) && !EndLine(*slot)) {
        slot->cut.store(true);
        return;
    }
    const std::size_t written = slot->ownDescriptor
                                    ? Platform::WriteOwnLog(slot->stream, slot->fd, text, length)
                                    : Platform::WriteRecord(slot->stream, text, length, slot->risk,
                                                            slot->path != nullptr ? Platform::StreamOrigin::kOwnLog
                                                                                  : Platform::StreamOrigin::kOther);
    if (written != 0 && written != length && !EndLine(*slot))
        slot->cut.store(true);
    const uint64_t limit = slot->path != nullptr && written != 0 ? LogRollover::Limit() : 0;
    if (limit != 0 && MeasureDue(*slot, written, limit)) {
        counted.Leave();
        RollOverIfPast(slot, limit);
    }
}

bool InitLogStillOpen()
{
    const std::lock_guard<std::mutex> lock(g_moves);
    const Slot* slot = g_current.load();
    return slot != nullptr && slot->path != nullptr && slot->stream != nullptr && StillOurs(*slot);
}

std::FILE* Current(bool& initLog)
{
    const std::lock_guard<std::mutex> lock(g_moves);
    const Slot* slot = g_current.load();
    initLog = slot != nullptr && slot->path != nullptr;
    return slot != nullptr ? slot->stream : nullptr;
}

void BeforeFork() { g_moves.lock(); }

void AfterForkInParent() { g_moves.unlock(); }

void AfterForkInChild()
{
    new (&g_moves) std::mutex();  // held by the forking thread, which the child no longer is
    for (Slot& slot : g_slots)    // the other threads are not in the child
        slot.writers.store(0);
}

std::FILE* Move(std::FILE* stream, const char* initLogPath, Previous previous)
{
    const std::lock_guard<std::mutex> lock(g_moves);
    Sweep();
    const Slot* current = g_current.load();
    if (stream != nullptr && current != nullptr && current->stream == stream)
        return nullptr;  // the sink already: nothing to hand back or close
    return Replace(stream, initLogPath, previous);
}

}  // namespace pdulog_detail::LogSink
