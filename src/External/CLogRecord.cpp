// Composition of one log record and its single write to the log sink.
#include "CLog.h"

#include "LogFormat.h"
#include "Platform/Platform.h"

#include <charconv>
#include <cstring>

std::FILE* CLog::s_sink = nullptr;
bool CLog::s_initLog = false;

namespace {

constexpr std::size_t kInitialCapacity = 256;

// Each thread keeps its record text between records, so a record costs no allocation once
// the buffer has grown to the longest line. A record made while another one is being
// composed on the same thread (a field whose output logs) uses its own storage instead.
struct ThreadRecord {
    std::string text;
    bool busy = false;
};
thread_local ThreadRecord t_record;

}  // namespace

CLog::RecordBuffer::RecordBuffer()
    : m_storage(&m_own), m_borrowed(false)
{
    ThreadRecord& shared = t_record;
    if (!shared.busy) {
        shared.busy = true;
        m_storage = &shared.text;
        m_borrowed = true;
    }
    if (m_storage->size() < kInitialCapacity)
        m_storage->resize(kInitialCapacity);
    char* begin = &(*m_storage)[0];
    setp(begin, begin + m_storage->size() - 1);  // one byte kept for the terminating NUL
}

CLog::RecordBuffer::~RecordBuffer()
{
    if (m_borrowed)
        t_record.busy = false;
}

void CLog::RecordBuffer::Grow(std::size_t needed)
{
    const std::size_t used = static_cast<std::size_t>(pptr() - pbase());
    std::size_t size = m_storage->size();
    while (size - 1 - used < needed)
        size *= 2;
    m_storage->resize(size);
    char* begin = &(*m_storage)[0];
    setp(begin, begin + size - 1);
    // pbump takes an int: advance in steps for records beyond 2 GiB.
    std::size_t advance = used;
    while (advance > 0) {
        const int step = advance > 0x40000000u ? 0x40000000 : static_cast<int>(advance);
        pbump(step);
        advance -= static_cast<std::size_t>(step);
    }
}

void CLog::RecordBuffer::Append(const char* text, std::size_t length)
{
    if (static_cast<std::size_t>(epptr() - pptr()) < length)
        Grow(length);
    std::memcpy(pptr(), text, length);
    std::size_t advance = length;
    while (advance > 0) {
        const int step = advance > 0x40000000u ? 0x40000000 : static_cast<int>(advance);
        pbump(step);
        advance -= static_cast<std::size_t>(step);
    }
}

CLog::RecordBuffer::int_type CLog::RecordBuffer::overflow(int_type c)
{
    if (traits_type::eq_int_type(c, traits_type::eof()))
        return traits_type::not_eof(c);
    const char ch = traits_type::to_char_type(c);
    Append(&ch, 1);
    return c;
}

std::streamsize CLog::RecordBuffer::xsputn(const char* text, std::streamsize length)
{
    if (length > 0)
        Append(text, static_cast<std::size_t>(length));
    return length;
}

const char* CLog::RecordBuffer::Terminated()
{
    *pptr() = '\0';  // epptr() stops one byte short of the storage, so this always fits
    return pbase();
}

CLog::CLog(std::FILE* stream)
    : m_stream(&m_buffer)
{
    if (s_sink == nullptr)
        s_sink = stream;
}

CLog::~CLog()
{
    m_buffer.Append("\n", 1);
    // The text ends at its first NUL, as a "%s" write would end it.
    std::FILE* sink = s_sink;
    if (sink == nullptr)  // only when a field's output shut the facility down
        return;
    std::fputs(m_buffer.Terminated(), sink);
    std::fflush(sink);
}

std::ostream& CLog::Header(int level, int /*subsystem*/)
{
    char time[LogFormat::kTimeLength];
    LogFormat::TimeOfDay(Platform::WallClockTicks(), time);
    m_buffer.Append(time, sizeof time);
    const char* text = LevelText(level);
    m_buffer.Append(text, std::strlen(text));
    return m_stream;
}

std::ostream& CLog::Located(int level, int subsystem, const char* place, int line, const char* function)
{
    Header(level, subsystem);
    char thread[8];
    m_buffer.Append(thread, LogFormat::ThreadField(Platform::CurrentThreadId(), thread));
    m_buffer.Append(":", 1);
    m_buffer.Append(place, std::strlen(place));
    m_buffer.Append(":", 1);
    char number[16];
    const auto end = std::to_chars(number, number + sizeof number, line).ptr;
    m_buffer.Append(number, static_cast<std::size_t>(end - number));
    m_buffer.Append(":", 1);
    m_buffer.Append(function, std::strlen(function));
    m_buffer.Append(":", 1);
    return m_stream;
}
