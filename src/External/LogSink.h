// The log sink: the one stream that every record of the process goes to, and its moves.
// Records are written from any number of threads while the lifecycle moves or closes the
// sink: a record in flight either reaches the stream it started on whole, or is not
// written, and no stream is written after it has been closed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace pdulog_detail::LogSink {

// What becomes of the stream that a move replaces.
enum class Previous {
    kClose,     // the facility's own: closed (a standard stream is only flushed)
    kHandBack,  // returned for the caller to close
};

// Writes one record to the sink; without a sink, or when the sink cannot take it, the
// record is dropped whole. While the init log is the sink, a record written at least a
// second after the last check first checks that the log's path still names the open file,
// and when it names another one or none (the log was deleted, rotated or rolled over),
// opens the path again as the first open did and makes that the sink. A capped log past
// its limit is then rolled over (LogRollover).
// A cancellation request of the host's may act in the record's write, and leaves nothing
// held (the writer count, the stream's lock, the signal mask); a follow of the path and the
// first record's adoption of the sink hold it back.
// The first record fixes the sink: `adopt` (the stream the record was made for) becomes it
// when there is none yet.
void Write(const char* text, std::size_t length, std::FILE* adopt);
// The stream records go to now (nullptr: none), and whether the sink is the init log file.
// The init log's stream is nullptr, with initLog true, while a log that was deleted could
// not be opened again yet: its records are dropped until a later check opens it.
std::FILE* Current(bool& initLog);
// Whether the init log is the sink and still open on its own file: not when it could not be
// opened again, nor when the host has given its descriptor's number to a file of its own.
bool InitLogStillOpen();
// Makes `stream` the sink (nullptr: none); `initLogPath` is the path the init log was
// opened at (nullptr: `stream` is not the init log). Records still being written to the
// previous sink are waited for, a bounded time; the previous stream is then closed or
// handed back. One that a writer still holds after that (a pipe nobody reads) is left open
// rather than closed under the writer, and closed by a later move once its writers are
// done; nullptr is returned for it.
std::FILE* Move(std::FILE* stream, const char* initLogPath, Previous previous);

// Around a fork: the move lock is held across it, so that the child finds it free, and the
// child forgets the records that threads it does not have were writing.
void BeforeFork();
void AfterForkInParent();
void AfterForkInChild();

}  // namespace pdulog_detail::LogSink
