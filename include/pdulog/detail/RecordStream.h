// Internal to pdulog, not for hosts (the stream a site writes its record into): the macros need it at every site.
// The stream a logging site writes a record into. It is a std::ostream, so that every
// insertion, manipulator and operator<< of the host's works on it as on any stream; the
// insertions a record is mostly made of (texts, characters, integers) go straight into the
// record's text instead, while the stream is at the state every record starts in. After
// a manipulator or an operator of the host's, the rest of the line is the std::ostream's:
// those return a std::ostream&.
#pragma once

#include "../PdulogExport.h"
#include "DecimalText.h"

#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <type_traits>

namespace pdulog_detail {

class RecordComposer;  // a record's text and the stream that writes into it

// The record's text, the stream's buffer: an insertion that goes straight into it writes at
// Next() what Room() allows, then says how much it Wrote().
class RecordText : public std::streambuf {
public:
    char* Next() const noexcept { return pptr(); }
    std::size_t Room() const noexcept { return static_cast<std::size_t>(epptr() - pptr()); }
    void Wrote(int length) noexcept { pbump(length); }
};

class RecordStream final : public std::ostream {
public:
    RecordStream(RecordText* text, RecordComposer* composer) : std::ostream(text), m_text(text), m_composer(composer) {}
    RecordText& Text() const noexcept { return *m_text; }
    RecordComposer* Composer() const noexcept { return m_composer; }
    // Nothing to pad, flush or refuse: a text goes into the record as it is.
    bool Plain() const noexcept { return rdstate() == goodbit && width() == 0 && tie() == nullptr; }
    // And an integer in decimal, no sign shown, in the record's own locale: its digits as
    // they are.
    bool PlainNumbers() const noexcept { return Plain() && (flags() & (basefield | showpos)) == dec && !m_imbued; }
    // Whether a locale other than the record's was given to the stream (the composer hears
    // of every imbue).
    bool Imbued() const noexcept { return m_imbued; }
    void MarkImbued(bool imbued) noexcept { m_imbued = imbued; }

private:
    RecordText* m_text;
    RecordComposer* m_composer;
    bool m_imbued = false;
};

// The longest text that an insertion copies where it is written; a longer one is copied by
// the library.
constexpr std::size_t kInlineText = 256;

// Each writes as the std::ostream would: straight into the text while the stream is good,
// has no width, no tie and, for an integer, decimal without a sign shown in the record's
// own locale; through the std::ostream otherwise.
PDULOG_API RecordStream& PutText(RecordStream& stream, const char* text, std::size_t length);
PDULOG_API RecordStream& PutChar(RecordStream& stream, char c);
PDULOG_API RecordStream& PutInteger(RecordStream& stream, int value);
PDULOG_API RecordStream& PutInteger(RecordStream& stream, unsigned value);
PDULOG_API RecordStream& PutInteger(RecordStream& stream, long value);
PDULOG_API RecordStream& PutInteger(RecordStream& stream, unsigned long value);
PDULOG_API RecordStream& PutInteger(RecordStream& stream, long long value);
PDULOG_API RecordStream& PutInteger(RecordStream& stream, unsigned long long value);

// Each takes its own type exactly and no other (a template is never chosen through a
// conversion): a short, a bool, an enumeration or a signed char goes to the std::ostream
// as before, and no insertion becomes ambiguous.
template <typename T, typename... Types>
constexpr bool kOneOf = (std::is_same_v<T, Types> || ...);
template <typename T>
constexpr bool kRecordInteger = kOneOf<T, int, unsigned, long, unsigned long, long long, unsigned long long>;

template <typename T, std::enable_if_t<kRecordInteger<T>, int> = 0>
inline RecordStream& operator<<(RecordStream& stream, T value)
{
    RecordText& out = stream.Text();
    if (out.Room() < DecimalText::kMaxLength || !stream.PlainNumbers())
        return PutInteger(stream, value);
    char* const next = out.Next();
    out.Wrote(static_cast<int>(DecimalText::Write(next, value) - next));
    return stream;
}

template <typename T, std::enable_if_t<kOneOf<T, char>, int> = 0>
inline RecordStream& operator<<(RecordStream& stream, T c)
{
    RecordText& text = stream.Text();
    if (text.Room() == 0 || !stream.Plain())
        return PutChar(stream, c);
    *text.Next() = c;
    text.Wrote(1);
    return stream;
}

// A literal's length is known where it is written: the compiler counts it there.
template <typename T, std::enable_if_t<kOneOf<T, const char*, char*>, int> = 0>
inline RecordStream& operator<<(RecordStream& stream, T text)
{
    if (text == nullptr) {  // the std::ostream's answer to it, whatever that is
        static_cast<std::ostream&>(stream) << text;
        return stream;
    }
    const std::size_t length = std::char_traits<char>::length(text);
    RecordText& out = stream.Text();
    if (length > kInlineText || length > out.Room() || !stream.Plain())
        return PutText(stream, text, length);
    std::char_traits<char>::copy(out.Next(), text, length);
    out.Wrote(static_cast<int>(length));
    return stream;
}

template <typename T, std::enable_if_t<kOneOf<T, std::string, std::string_view>, int> = 0>
inline RecordStream& operator<<(RecordStream& stream, const T& text)
{
    return PutText(stream, text.data(), text.size());
}

}  // namespace pdulog_detail
