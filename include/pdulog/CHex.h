// A hex dump for log records: sixteen bytes a row, as offset, hexadecimal and characters.
// A CHex is made and inserted by one thread; different objects are independent.
#pragma once

#include "PdulogExport.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

class PDULOG_API CHex {
public:
    // A chunk is its length and a pointer to its first byte.
    using Chunk = std::pair<uint32_t, const uint8_t*>;

    // A null data pointer is reported (WARN, GENERAL) and dumps nothing.
    CHex(const uint8_t* data, uint32_t len);
    // Each chunk in turn, each numbered from offset 0.
    explicit CHex(const std::vector<Chunk>& chunks);

    // Inserts the whole dump (rendered by the constructor) into `out` as one string, so that
    // a field width applies to all of it, and returns `out`.
    std::ostream& Output(std::ostream& out) const;

private:
    void Dump(const uint8_t* data, uint32_t len);
    void Row(uint32_t offset, const uint8_t* bytes, uint32_t count);

    // 79 characters and a NUL for a row with a four-digit offset; the offsets of buffers
    // beyond 64 KiB take up to four more digits, and the row moves right with them.
    char m_line[80 + 4];
#ifdef _MSC_VER
    // C4251, a std::string in an exported class: only the library's own code touches this
    // private member, and a DLL and its users share one compiler and C runtime anyway.
#pragma warning(push)
#pragma warning(disable : 4251)
#endif
    std::string m_text;
#ifdef _MSC_VER
#pragma warning(pop)
#endif
};

// out << CHex(data, len): the same as hex.Output(out).
PDULOG_API std::ostream& operator<<(std::ostream& out, const CHex& hex);
