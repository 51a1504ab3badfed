// The hex dump's rows: offset, sixteen bytes in hexadecimal, the same bytes as characters.
#include <pdulog/CHex.h>

#include <pdulog/CLog.h>

#include <cstring>

namespace {

constexpr int kLineNullPointer = 602;
constexpr uint32_t kBytesPerRow = 16;
constexpr std::size_t kRowLength = 79;  // with a four-digit offset

const char kHex[] = "0123456789ABCDEF";

// Rows in a dump of len bytes, and the characters they take.
std::size_t DumpLength(uint32_t len)
{
    const std::size_t rows = (static_cast<std::size_t>(len) + kBytesPerRow - 1) / kBytesPerRow;
    return rows * (kRowLength + 4);
}

}  // namespace

CHex::CHex(const uint8_t* data, uint32_t len) : m_line {}
{
    if (data == nullptr) {
        CLOG_RECORD(LL_WARN, LS_GENERAL, "class CHex", kLineNullPointer, "CHex::CHex") << "Pointer NULL, Len: " << len;
        return;
    }
    m_text.reserve(DumpLength(len));
    Dump(data, len);
}

CHex::CHex(const std::vector<Chunk>& chunks) : m_line {}
{
    std::size_t length = 0;
    for (const Chunk& chunk : chunks)
        length += DumpLength(chunk.first);
    m_text.reserve(length);
    for (const Chunk& chunk : chunks) {
        if (chunk.second == nullptr && chunk.first != 0) {
            // A length with nothing behind it: reported as the buffer form reports it.
            CLOG_RECORD(LL_WARN, LS_GENERAL, "class CHex", kLineNullPointer, "CHex::CHex")
                << "Pointer NULL, Len: " << chunk.first;
            continue;
        }
        Dump(chunk.second, chunk.first);
    }
}

void CHex::Dump(const uint8_t* data, uint32_t len)
{
    for (uint32_t offset = 0; offset < len; offset += kBytesPerRow) {
        const uint32_t count = len - offset < kBytesPerRow ? len - offset : kBytesPerRow;
        Row(offset, data + offset, count);
        if (len - offset <= kBytesPerRow)
            break;  // the next offset could wrap past 4 GiB
    }
}

void CHex::Row(uint32_t offset, const uint8_t* bytes, uint32_t count)
{
    // Head: "\n| " and the offset in at least four uppercase digits, then " | ".
    char* p = m_line;
    *p++ = '\n';
    *p++ = '|';
    *p++ = ' ';
    int digits = 4;
    while (digits < 8 && (offset >> (4 * digits)) != 0)
        ++digits;
    for (int d = digits - 1; d >= 0; --d)
        *p++ = kHex[(offset >> (4 * d)) & 0xF];
    std::memcpy(p, " | ", 3);
    p += 3;

    char* hex = p;  // sixteen fields of three characters
    constexpr std::size_t kRowHex = std::size_t {3} * kBytesPerRow;
    char* text = hex + kRowHex + 3;  // after " | "
    for (std::size_t i = 0; i < kBytesPerRow; ++i) {
        if (i < count) {
            const uint8_t b = bytes[i];
            hex[3 * i] = kHex[b >> 4];
            hex[3 * i + 1] = kHex[b & 0xF];
            text[i] = (b >= 0x20 && b <= 0x7E) ? static_cast<char>(b) : '.';
        } else {
            hex[3 * i] = ' ';
            hex[3 * i + 1] = ' ';
            text[i] = ' ';
        }
        hex[3 * i + 2] = ' ';
    }
    std::memcpy(hex + kRowHex, " | ", 3);
    std::memcpy(text + kBytesPerRow, " |", 2);
    char* end = text + kBytesPerRow + 2;
    *end = '\0';
    m_text.append(m_line, static_cast<std::size_t>(end - m_line));
}

std::ostream& CHex::Output(std::ostream& out) const { return out << m_text; }

std::ostream& operator<<(std::ostream& out, const CHex& hex) { return hex.Output(out); }
