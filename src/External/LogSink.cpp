// The log sink and its moves, safe against records that other threads are writing: a
// writer counts itself into the stream it writes to, and a move waits until the stream it
// replaces has no writer left before it closes or hands it back.
#include "LogSink.h"

#include "Platform/Platform.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

namespace pdulog_detail::LogSink {

namespace {

// How long a move waits for records in flight: a writer that takes longer is blocked (a
// pipe nobody reads), and waiting on it would hang the host's shut-down.
constexpr std::chrono::milliseconds kDrainWait {1000};
constexpr int kSlots = 8;

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
    // have seen it current.
    std::FILE* stream = nullptr;
    Platform::StreamRisk risk = Platform::StreamRisk::kNone;
    Platform::FileId file;
    bool initLog = false;
    State state = State::kFree;  // under g_moves
    // A record was cut short and its line not ended: the next record ends it first.
    std::atomic<bool> cut {false};
};

Slot g_slots[kSlots];
std::atomic<Slot*> g_current {nullptr};
std::mutex g_moves;  // one move at a time

bool IsStandardStream(std::FILE* stream)
{
    return stream == stdin || stream == stdout || stream == stderr;
}

Platform::FileId Identify(std::FILE* stream)
{
    return Platform::IdentifyFile(Platform::StreamDescriptor(stream));
}

// The host's standard streams stay open for the host, and are not even flushed: records
// never wait in a stream's buffer, and a host thread stuck in one would hold the move up.
// A stream whose descriptor's number the host has given to a file of its own is abandoned,
// neither flushed nor closed.
void Close(std::FILE* stream, const Platform::FileId& file)
{
    const int fd = Platform::StreamDescriptor(stream);
    if (!IsStandardStream(stream) && (fd < 0 || Platform::StillRefersTo(fd, file)))
        std::fclose(stream);
}

Slot* Enter()
{
    for (;;) {
        Slot* slot = g_current.load();
        if (slot == nullptr)
            return nullptr;
        slot->writers.fetch_add(1);
        if (g_current.load() == slot)
            return slot;
        slot->writers.fetch_sub(1);  // moved meanwhile: not this stream's record any more
    }
}

bool Drained(const Slot& slot)
{
    const auto giveUp = std::chrono::steady_clock::now() + kDrainWait;
    while (slot.writers.load() != 0) {
        if (std::chrono::steady_clock::now() >= giveUp)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return true;
}

// Closes the streams left open whose writers have come out since. Under g_moves.
void Sweep()
{
    for (Slot& slot : g_slots)
        if (slot.state == State::kLeftOpen && slot.writers.load() == 0) {
            Close(slot.stream, slot.file);
            slot.state = State::kFree;
        }
}

// A slot made ready for `stream`; nullptr when every slot holds a stream that a writer is
// stuck in. Under g_moves.
Slot* Prepare(std::FILE* stream, bool initLog)
{
    for (Slot& slot : g_slots)
        if (slot.state == State::kFree && slot.writers.load() == 0) {
            slot.stream = stream;
            slot.risk = Platform::RiskOf(stream);
            slot.file = Identify(stream);
            slot.initLog = initLog;
            slot.cut.store(false);
            slot.state = State::kCurrent;
            return &slot;
        }
    return nullptr;
}

}  // namespace

void Write(const char* text, std::size_t length)
{
    Slot* slot = Enter();
    if (slot == nullptr)
        return;
    // What reached the file of a record cut short (a disk that filled up) is ended with a
    // line end, so that no record is glued to it.
    const auto endLine = [slot] { return Platform::WriteRecord(slot->stream, "\n", 1, slot->risk) == 1; };
    if (!slot->cut.load(std::memory_order_relaxed) || endLine()) {
        const std::size_t written = Platform::WriteRecord(slot->stream, text, length, slot->risk);
        slot->cut.store(written != 0 && written != length && !endLine(), std::memory_order_relaxed);
    }
    slot->writers.fetch_sub(1);
}

void AdoptIfNone(std::FILE* stream)
{
    if (stream == nullptr || g_current.load() != nullptr)
        return;
    const std::lock_guard<std::mutex> lock(g_moves);
    if (g_current.load() == nullptr)
        if (Slot* slot = Prepare(stream, false))
            g_current.store(slot);
}

std::FILE* Current(bool& initLog)
{
    const std::lock_guard<std::mutex> lock(g_moves);
    const Slot* slot = g_current.load();
    initLog = slot != nullptr && slot->initLog;
    return slot != nullptr ? slot->stream : nullptr;
}

std::FILE* Move(std::FILE* stream, bool initLog, Previous previous)
{
    const std::lock_guard<std::mutex> lock(g_moves);
    Sweep();
    Slot* const current = g_current.load();
    if (stream != nullptr && current != nullptr && current->stream == stream) {
        current->initLog = initLog;
        return nullptr;  // the sink already: nothing to hand back or close
    }
    Slot* next = nullptr;
    if (stream != nullptr) {
        next = Prepare(stream, initLog);
        if (next == nullptr) {  // no room beside the stuck streams: the sink stays as it was
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
    old->state = State::kFree;
    if (previous == Previous::kHandBack && !IsStandardStream(old->stream))
        return old->stream;  // a standard stream is the host's, never the caller's to close
    Close(old->stream, old->file);
    return nullptr;
}

}  // namespace pdulog_detail::LogSink
