// Composition of one log record and its single write to the log sink.
#include <pdulog/CLog.h>

#include <pdulog/detail/DecimalText.h>
#include "LevelStore.h"
#include "LevelTags.h"
#include "Lifecycle.h"
#include "LogFormat.h"
#include "LogSink.h"
#include "Platform/Platform.h"

#include <charconv>
#include <climits>
#include <cstring>
#include <locale>
#include <streambuf>

namespace Platform = pdulog_detail::Platform;

namespace pdulog_detail {

// The record text, kept from record to record so that a record costs no allocation once
// the buffer has grown to the longest line.
class RecordBuffer : public RecordText {
public:
    static constexpr std::size_t kStartBytes = 256;
    static constexpr std::size_t kKeptBytes = std::size_t {64} * 1024;

    RecordBuffer() : m_storage(kStartBytes, '\0') { Restart(); }

    void Restart()
    {
        char* begin = &m_storage[0];
        setp(begin, begin + m_storage.size() - 1);  // one byte spare, for the line end
    }

    void Append(const char* text, std::size_t length)
    {
        if (static_cast<std::size_t>(epptr() - pptr()) < length)
            Grow(length);
        std::memcpy(pptr(), text, length);
        Advance(length);
    }

    // Room for `length` more bytes at once, written by the caller, who then commits what
    // it wrote: the fields of a record's start, in one reservation.
    char* Reserve(std::size_t length)
    {
        if (static_cast<std::size_t>(epptr() - pptr()) < length)
            Grow(length);
        return pptr();
    }
    void Commit(const char* end) { Advance(static_cast<std::size_t>(end - pptr())); }

    // A thread keeps at most kKeptBytes between records: one huge record must not hold its
    // buffer for as long as a pooled thread lives.
    void Trim()
    {
        if (m_storage.size() > kKeptBytes)
            Shrink();
    }

    const char* Text() const { return pbase(); }
    // The line end after the text, in the byte kept spare for it; the line's length.
    std::size_t EndLine()
    {
        *pptr() = '\n';
        return static_cast<std::size_t>(pptr() - pbase()) + 1;
    }

protected:
    int_type overflow(int_type c) override
    {
        if (traits_type::eq_int_type(c, traits_type::eof()))
            return traits_type::not_eof(c);
        const char ch = traits_type::to_char_type(c);
        Append(&ch, 1);
        return c;
    }

    std::streamsize xsputn(const char* text, std::streamsize length) override
    {
        if (length > 0)
            Append(text, static_cast<std::size_t>(length));
        return length;
    }

private:
    PDULOG_COLD void Shrink()
    {
        std::string(kStartBytes, '\0').swap(m_storage);
        Restart();
    }

    void Advance(std::size_t length)
    {
        while (length > INT_MAX) {  // pbump takes an int
            pbump(INT_MAX);
            length -= INT_MAX;
        }
        pbump(static_cast<int>(length));
    }

    void Grow(std::size_t needed)
    {
        const std::size_t used = static_cast<std::size_t>(pptr() - pbase());
        std::size_t size = m_storage.size();
        while (size - 1 - used < needed)
            size *= 2;
        m_storage.resize(size);
        Restart();
        Advance(used);
    }

    std::string m_storage;
};

// The word of a record's stream that leads back to its composer.
const int kComposerWord = std::ios_base::xalloc();

// The record's integers in the format every record starts with (decimal, no width, no sign
// shown) go straight into the text; any other format is the standard facet's, with the
// same result as the classic locale's in every case.
class RecordNumbers : public std::num_put<char> {
protected:
    iter_type do_put(iter_type out, std::ios_base& io, char fill, long value) const override
    {
        return Put(out, io, fill, value);
    }
    iter_type do_put(iter_type out, std::ios_base& io, char fill, unsigned long value) const override
    {
        return Put(out, io, fill, value);
    }
    iter_type do_put(iter_type out, std::ios_base& io, char fill, long long value) const override
    {
        return Put(out, io, fill, value);
    }
    iter_type do_put(iter_type out, std::ios_base& io, char fill, unsigned long long value) const override
    {
        return Put(out, io, fill, value);
    }

private:
    template <typename T>
    iter_type Put(iter_type out, std::ios_base& io, char fill, T value) const;
};

// The classic locale with the record's own integers. Never destroyed at the process's end:
// a thread may begin its first record while the process exits. An unload gives it back.
const std::locale& RecordLocale()
{
    static const std::locale* const locale = new std::locale(std::locale::classic(), new RecordNumbers);
    static const struct Release {
        ~Release()
        {
            if (Platform::Unloading())
                delete locale;
        }
    } release;
    return *locale;
}
// Made when the module is initialised, not by a thread's first record: a fork while another
// thread made it would leave the child a guard that never opens.
const std::locale& g_recordLocale = RecordLocale();

// A record buffer with the stream that the logging site writes into, and what each record
// of the thread repeats: its time of day to the second, its thread field. Building a stream
// is costly (locale and facets), so each thread keeps one and resets it for every record.
class RecordComposer {
public:
    RecordComposer() : m_stream(&m_buffer, this)
    {
        m_stream.imbue(RecordLocale());
        m_stream.register_callback(Imbued, 0);
        m_stream.pword(kComposerWord) = this;
        m_stream.MarkImbued(false);
    }

    // An empty text and the stream defaults: decimal, no width, blank fill, classic locale
    // (with the record's own integers).
    void Start()
    {
        m_buffer.Restart();
        if (m_stream.rdbuf() != &m_buffer)  // a site gave the last record's stream a buffer of its own
            m_stream.rdbuf(&m_buffer);
        if (m_stream.rdstate() != std::ios_base::goodbit || m_stream.exceptions() != std::ios_base::goodbit) {
            m_stream.clear();
            m_stream.exceptions(std::ios_base::goodbit);
        }
        m_stream.flags(std::ios_base::dec | std::ios_base::skipws);
        m_stream.width(0);
        m_stream.precision(6);
        m_stream.fill(' ');
        if (m_copied)  // another stream's format was copied over this one: the record's back
            Restore();
        else if (m_stream.Imbued())  // a site gave the last record a locale of its own
            Revert();
    }

    bool Owns(const std::ios_base& stream) const { return &stream == static_cast<const std::ios_base*>(&m_stream); }

    // The record's start: its clock reading, the follow-ups, then the time of day and the level
    // at `out`; the end of what it wrote.
    char* TimeAndLevel(int level, char* out)
    {
        const Platform::WallTime now = Platform::WallClock();
        FollowUps(now);
        LogFormat::TimeOfDay(now.seconds, now.nanoseconds, m_second, out);
        out += LogFormat::kTimeLength;
        if (level >= 0 && level < kLogLevelCount) {
            std::memcpy(out, kLevelTags[level], kLevelTagLength);
            return out + kLevelTagLength;
        }
        const char* text = CLog::LevelText(level);
        const std::size_t length = std::strlen(text);
        std::memcpy(out, text, length);
        return out + length;
    }

    // What a record does once a second besides its own work, on the thread's first record of
    // each second of the wall clock: a store that another file has replaced at its path is
    // followed (LevelStore::FollowIfDue, at most once a second across threads), so that the
    // gate reads the new file's levels. Before the header: nothing of the record is held yet.
    void FollowUps(const Platform::WallTime& now)
    {
        if (now.seconds != m_second.second)
            LevelStore::FollowIfDue(now.seconds);
    }

    // The thread field, asked for once per thread (again in a forked child, whose thread
    // is another: ForgetThread).
    char* Thread(char* out)
    {
        if (m_threadLength == 0)
            m_threadLength = LogFormat::ThreadField(Platform::CurrentThreadId(), m_threadText);
        std::memcpy(out, m_threadText, sizeof m_threadText);
        return out + m_threadLength;
    }
    void ForgetThread() { m_threadLength = 0; }

    // Set as the composer goes, before its stream: the stream's end calls the callback.
    ~RecordComposer() { m_ending = true; }

    bool m_ending = false;  // declared before the stream, so that it outlives it
    RecordBuffer m_buffer;
    RecordStream m_stream;
    bool m_busy = false;
    bool m_threadOwn = false;      // kept by its thread for every record, else one record's
    std::FILE* m_adopt = nullptr;  // the stream the record was made for

private:
    // A locale given to the stream, or its whole format copied over it (copyfmt, which first
    // erases what the stream had): its integers are then the std::ostream's until the next
    // record starts afresh. Hearing of it as it happens spares every record a locale
    // comparison. A host's stream that copied this one's format calls it too.
    static void Imbued(std::ios_base::event event, std::ios_base& stream, int)
    {
        auto* self = static_cast<RecordComposer*>(stream.pword(kComposerWord));
        if (self == nullptr || !self->Owns(stream) || self->m_ending)
            return;  // not the composer's stream, or the composer going: its stream is no more
        if (event == std::ios_base::erase_event)
            self->m_copied = true;
        self->m_stream.MarkImbued(true);
    }

    void Revert()
    {
        m_stream.imbue(RecordLocale());
        m_stream.MarkImbued(false);
    }
    // What a copyfmt took from the stream: the locale, the tie, the word that leads here and
    // the callback (the copied-in ones of the other stream stay: the host put them there).
    void Restore()
    {
        m_stream.tie(nullptr);
        m_stream.pword(kComposerWord) = this;
        m_stream.register_callback(Imbued, 0);
        m_copied = false;
        Revert();
    }

    bool m_copied = false;
    LogFormat::LocalSecond m_second;
    std::size_t m_threadLength = 0;
    char m_threadText[8] = {};
};

template <typename T>
RecordNumbers::iter_type RecordNumbers::Put(iter_type out, std::ios_base& io, char fill, T value) const
{
    if ((io.flags() & (std::ios_base::basefield | std::ios_base::showpos)) != std::ios_base::dec || io.width() != 0)
        return std::num_put<char>::do_put(out, io, fill, value);
    char digits[24];
    const char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    // Only the composer's own stream: a host's stream that copied its format (copyfmt) has
    // the word too, and may outlive the composer.
    auto* composer = static_cast<RecordComposer*>(io.pword(kComposerWord));
    if (composer != nullptr && composer->Owns(io)) {
        composer->m_buffer.Append(digits, static_cast<std::size_t>(end - digits));
        return out;
    }
    for (const char* digit = digits; digit != end; ++digit)  // a stream the locale was copied to
        *out++ = *digit;
    return out;
}

RecordStream& PutText(RecordStream& stream, const char* text, std::size_t length)
{
    RecordComposer& composer = *stream.Composer();
    if (composer.m_stream.Plain())
        composer.m_buffer.Append(text, length);
    else
        static_cast<std::ostream&>(stream) << std::string_view(text, length);
    return stream;
}

RecordStream& PutChar(RecordStream& stream, char c)
{
    RecordComposer& composer = *stream.Composer();
    if (composer.m_stream.Plain())
        composer.m_buffer.Append(&c, 1);
    else
        static_cast<std::ostream&>(stream) << c;
    return stream;
}

namespace {

template <typename T>
RecordStream& PutNumber(RecordStream& stream, T value)
{
    RecordComposer& composer = *stream.Composer();
    if (!composer.m_stream.PlainNumbers()) {
        static_cast<std::ostream&>(stream) << value;
        return stream;
    }
    char* out = composer.m_buffer.Reserve(DecimalText::kMaxLength);
    composer.m_buffer.Commit(DecimalText::Write(out, value));
    return stream;
}

}  // namespace

RecordStream& PutInteger(RecordStream& stream, int value) { return PutNumber(stream, value); }
RecordStream& PutInteger(RecordStream& stream, unsigned value) { return PutNumber(stream, value); }
RecordStream& PutInteger(RecordStream& stream, long value) { return PutNumber(stream, value); }
RecordStream& PutInteger(RecordStream& stream, unsigned long value) { return PutNumber(stream, value); }
RecordStream& PutInteger(RecordStream& stream, long long value) { return PutNumber(stream, value); }
RecordStream& PutInteger(RecordStream& stream, unsigned long long value) { return PutNumber(stream, value); }

}  // namespace pdulog_detail

namespace {

using pdulog_detail::RecordComposer;

// The thread's own composer goes when the thread ends.
void ReleaseComposer(void* composer) { delete static_cast<RecordComposer*>(composer); }

// The thread's first composer, kept for its records; or, while `own` is busy composing
// another record (a field whose output logs), one of this record's own. So is one on a
// thread that could not keep one.
PDULOG_COLD RecordComposer* NewComposer(RecordComposer* own)
{
    if (own != nullptr)
        return new RecordComposer();
    own = new RecordComposer();
    own->m_threadOwn = Platform::SetThreadPointer(own, ReleaseComposer);
    return own;
}

// The composer a record starts on, made ready. Not the cold constructor's own body: the
// compiler would take the site's constructor that called it for cold as well, and lay it
// out for size.
RecordComposer* StartRecord(std::FILE* stream)
{
    auto* composer = static_cast<RecordComposer*>(Platform::ThreadPointer());
    if (composer == nullptr || composer->m_busy)
        composer = NewComposer(composer);
    composer->m_busy = true;
    composer->Start();
    composer->m_adopt = stream;
    return composer;
}

}  // namespace

void pdulog_detail::ComposerAfterForkInChild()
{
    if (auto* own = static_cast<RecordComposer*>(Platform::ThreadPointer()))
        own->ForgetThread();
}

CLog::CLog(std::FILE* stream) : m_composer(StartRecord(stream)), m_stream(&m_composer->m_stream) {}

// Not noexcept: a thread that the host cancels in the record's write leaves through here,
// unwinding, and the composer is given back on the way. (The record's few other
// cancellation points, once a second or once a process, hold a request back: LogSink,
// LevelStore, Platform's local time.)
CLog::~CLog() noexcept(false)
{
    struct Done {
        RecordComposer* composer;
        ~Done()
        {
            if (composer->m_threadOwn) {
                composer->m_buffer.Trim();
                composer->m_busy = false;
            } else
                delete composer;
        }
    } done {m_composer};
    pdulog_detail::RecordBuffer& buffer = m_composer->m_buffer;
    // Every byte the site streamed, a NUL included: the line end is never cut off.
    const std::size_t length = buffer.EndLine();
    pdulog_detail::LogSink::Write(buffer.Text(), length, m_composer->m_adopt);
}

std::ostream& CLog::Header(int level, int /*subsystem*/)
{
    pdulog_detail::RecordBuffer& buffer = m_composer->m_buffer;
    buffer.Commit(m_composer->TimeAndLevel(level, buffer.Reserve(32)));
    return m_composer->m_stream;
}

std::ostream& CLog::Located(int level, int subsystem, const char* place, int line, const char* function)
{
    return Site(level, subsystem, place, std::strlen(place), line, function, std::strlen(function));
}

// The record's start in one reservation: time, level, thread, place, line and function,
// each written straight into the text.
pdulog_detail::RecordStream& CLog::Site(int level, int /*subsystem*/, const char* place, std::size_t placeLength,
                                        int line, const char* function, std::size_t functionLength)
{
    RecordComposer& composer = *m_composer;
    char* out = composer.m_buffer.Reserve(64 + placeLength + functionLength);
    out = composer.Thread(composer.TimeAndLevel(level, out));
    *out++ = ':';
    std::memcpy(out, place, placeLength);
    out += placeLength;
    *out++ = ':';
    out = pdulog_detail::DecimalText::Write(out, line);
    *out++ = ':';
    std::memcpy(out, function, functionLength);
    out += functionLength;
    *out++ = ':';
    composer.m_buffer.Commit(out);
    return composer.m_stream;
}

CLog::CLog(std::FILE* stream, int level, const char* tail, std::size_t tailLength)
    : m_composer(StartRecord(stream)), m_stream(&m_composer->m_stream)
{
    RecordComposer& composer = *m_composer;
    char* out = composer.Thread(composer.TimeAndLevel(level, composer.m_buffer.Reserve(48 + tailLength)));
    std::memcpy(out, tail, tailLength);
    composer.m_buffer.Commit(out + tailLength);
}
