// Composition of one log record and its single write to the log sink.
#include "CLog.h"

#include "LevelStore.h"
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
class RecordBuffer : public std::streambuf {
public:
    static constexpr std::size_t kStartBytes = 256;
    static constexpr std::size_t kKeptBytes = std::size_t {64} * 1024;

    RecordBuffer() : m_storage(kStartBytes, '\0') { Restart(); }

    void Restart()
    {
        char* begin = &m_storage[0];
        setp(begin, begin + m_storage.size() - 1);  // one byte spare, as a C string would need
    }

    void Append(const char* text, std::size_t length)
    {
        if (static_cast<std::size_t>(epptr() - pptr()) < length)
            Grow(length);
        std::memcpy(pptr(), text, length);
        Advance(length);
    }

    // A thread keeps at most kKeptBytes between records: one huge record must not hold its
    // buffer for as long as a pooled thread lives.
    void Trim()
    {
        if (m_storage.size() > kKeptBytes) {
            std::string(kStartBytes, '\0').swap(m_storage);
            Restart();
        }
    }

    const char* Text() const { return pbase(); }
    std::size_t Length() const { return static_cast<std::size_t>(pptr() - pbase()); }

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
const std::locale& s_recordLocale = RecordLocale();

// A record buffer with the stream that the logging site writes into. Building a stream is
// costly (locale and facets), so each thread keeps one and resets it for every record.
class RecordComposer {
public:
    RecordComposer() : m_stream(&m_buffer)
    {
        m_stream.imbue(RecordLocale());
        m_stream.register_callback(Imbued, 0);
        m_stream.pword(kComposerWord) = this;
        m_imbued = false;
    }

    // An empty text and the stream defaults: decimal, no width, blank fill, classic locale
    // (with the record's own integers).
    void Start()
    {
        m_buffer.Restart();
        if (m_stream.rdstate() != std::ios_base::goodbit || m_stream.exceptions() != std::ios_base::goodbit) {
            m_stream.clear();
            m_stream.exceptions(std::ios_base::goodbit);
        }
        m_stream.flags(std::ios_base::dec | std::ios_base::skipws);
        m_stream.width(0);
        m_stream.precision(6);
        m_stream.fill(' ');
        if (m_imbued) {  // a site gave the last record a locale of its own
            m_stream.imbue(RecordLocale());
            m_imbued = false;
        }
    }

    RecordBuffer m_buffer;
    std::ostream m_stream;
    bool m_busy = false;
    bool m_threadOwn = false;  // kept by its thread for every record, else one record's

private:
    // Noticing an imbue as it happens spares every record a locale comparison.
    static void Imbued(std::ios_base::event event, std::ios_base& stream, int)
    {
        if (event == std::ios_base::imbue_event)
            if (auto* self = static_cast<RecordComposer*>(stream.pword(kComposerWord)))
                self->m_imbued = true;
    }

    bool m_imbued = false;
};

template <typename T>
RecordNumbers::iter_type RecordNumbers::Put(iter_type out, std::ios_base& io, char fill, T value) const
{
    if ((io.flags() & (std::ios_base::basefield | std::ios_base::showpos)) != std::ios_base::dec || io.width() != 0)
        return std::num_put<char>::do_put(out, io, fill, value);
    char digits[24];
    const char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    if (auto* composer = static_cast<RecordComposer*>(io.pword(kComposerWord))) {
        composer->m_buffer.Append(digits, static_cast<std::size_t>(end - digits));
        return out;
    }
    for (const char* digit = digits; digit != end; ++digit)  // a stream the locale was copied to
        *out++ = *digit;
    return out;
}

}  // namespace pdulog_detail

namespace {

using pdulog_detail::RecordComposer;

// The thread's own composer goes when the thread ends.
void ReleaseComposer(void* composer) { delete static_cast<RecordComposer*>(composer); }

// The thread field is the same for every record of a thread.
struct ThreadField {
    uint32_t id = 0;
    std::size_t length = 0;
    char text[8] = {};
};
thread_local ThreadField t_threadField;

}  // namespace

CLog::CLog(std::FILE* stream)
{
    auto* own = static_cast<RecordComposer*>(Platform::ThreadPointer());
    if (own == nullptr) {
        own = new RecordComposer();
        own->m_threadOwn = Platform::SetThreadPointer(own, ReleaseComposer);
    }
    // A record made while another is being composed on this thread (a field whose output
    // logs) gets a composer of its own; so does one on a thread that could not keep one.
    m_composer = own->m_busy ? new RecordComposer() : own;
    m_composer->m_busy = true;
    m_composer->Start();
    pdulog_detail::LogSink::AdoptIfNone(stream);
}

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
    buffer.Append("\n", 1);
    // Every byte the site streamed, a NUL included: the line end is never cut off.
    pdulog_detail::LogSink::Write(buffer.Text(), buffer.Length());
}

std::ostream& CLog::Header(int level, int /*subsystem*/)
{
    char time[pdulog_detail::LogFormat::kTimeLength];
    const int64_t ticks = Platform::WallClockTicks();
    pdulog_detail::LogFormat::TimeOfDay(ticks, time);
    pdulog_detail::LevelStore::FollowIfDue(ticks);
    pdulog_detail::RecordBuffer& buffer = m_composer->m_buffer;
    buffer.Append(time, sizeof time);
    const char* text = LevelText(level);
    buffer.Append(text, std::strlen(text));
    return m_composer->m_stream;
}

std::ostream& CLog::Located(int level, int subsystem, const char* place, int line, const char* function)
{
    Header(level, subsystem);
    pdulog_detail::RecordBuffer& buffer = m_composer->m_buffer;
    ThreadField& thread = t_threadField;
    const uint32_t id = Platform::CurrentThreadId();
    if (thread.length == 0 || thread.id != id) {
        thread.length = pdulog_detail::LogFormat::ThreadField(id, thread.text);
        thread.id = id;
    }
    buffer.Append(thread.text, thread.length);
    buffer.Append(":", 1);
    buffer.Append(place, std::strlen(place));
    char number[16];
    number[0] = ':';
    char* end = std::to_chars(number + 1, number + sizeof number - 1, line).ptr;
    *end++ = ':';
    buffer.Append(number, static_cast<std::size_t>(end - number));
    buffer.Append(function, std::strlen(function));
    buffer.Append(":", 1);
    return m_composer->m_stream;
}
