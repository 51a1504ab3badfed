// Enumeration values and handles as text.
#include <pdulog/CUtil.h>

std::string EnumToString(const std::map<uint32_t, const char*>& table, uint32_t value)
{
    const auto entry = table.lower_bound(value);
    if (entry != table.end() && entry->first == value)
        return entry->second;
    return std::to_string(value);
}

// The text of a hexadecimal, showbase, internal, zero-filled field of width 10: "0x" and
// eight digits, except for 0, which a stream writes without its base prefix.
std::string HandleToString(uint32_t handle)
{
    if (handle == static_cast<uint32_t>(PDU_HANDLE_UNDEF))  // a vendor macro may be of any type
        return "PDU_HANDLE_UNDEF";
    if (handle == 0)
        return "0000000000";
    static const char kDigits[] = "0123456789abcdef";
    std::string text = "0x00000000";
    for (int i = 9; handle != 0; --i, handle >>= 4)
        text[static_cast<std::size_t>(i)] = kDigits[handle & 0xF];
    return text;
}
