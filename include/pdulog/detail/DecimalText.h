// Internal to pdulog, not for hosts (integers in decimal, as a record shows them): the macros need it at every site.
// Integers in decimal as a record shows them, byte for byte what std::to_chars writes: a
// minus sign for a negative value, no leading zeros, "0" for zero. Written straight into
// the record's text, two digits at a time, with no buffer in between.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace pdulog_detail::DecimalText {

inline constexpr std::size_t kMaxLength = 20;  // the longest: -9223372036854775808, 18446744073709551615

// "00" to "99".
inline constexpr char kPairs[] = "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
                                 "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
                                 "8081828384858687888990919293949596979899";

inline constexpr uint64_t kPowers[20] = {1ULL,
                                         10ULL,
                                         100ULL,
                                         1000ULL,
                                         10000ULL,
                                         100000ULL,
                                         1000000ULL,
                                         10000000ULL,
                                         100000000ULL,
                                         1000000000ULL,
                                         10000000000ULL,
                                         100000000000ULL,
                                         1000000000000ULL,
                                         10000000000000ULL,
                                         100000000000000ULL,
                                         1000000000000000ULL,
                                         10000000000000000ULL,
                                         100000000000000000ULL,
                                         1000000000000000000ULL,
                                         10000000000000000000ULL};

// The number of bits a value needs (at least 1).
inline int BitWidth(uint64_t value)
{
#if defined(__GNUC__) || defined(__clang__)
    return 64 - __builtin_clzll(value | 1);
#else
    int width = 1;
    while ((value >>= 1) != 0)
        ++width;
    return width;
#endif
}

// How many digits a value of 10 or more has: from its bit width, then one compare.
inline std::size_t DigitCount(uint64_t value)
{
    const int guess = BitWidth(value) * 1233 >> 12;  // 1233 / 4096 is just over log10(2)
    return static_cast<std::size_t>(guess) + (value >= kPowers[guess] ? 1 : 0);
}

template <typename U>
char* WriteUnsigned(char* out, U value)
{
    if (value < 10) {
        *out = static_cast<char>('0' + value);
        return out + 1;
    }
    const std::size_t length = DigitCount(value);
    char* p = out + length;
    while (value >= 100) {  // each pair in one two-byte copy
        const std::size_t pair = static_cast<std::size_t>(value % 100) * 2;
        value /= 100;
        std::memcpy(p -= 2, kPairs + pair, 2);
    }
    if (value >= 10) {
        std::memcpy(p -= 2, kPairs + value * 2, 2);
    } else {
        *--p = static_cast<char>('0' + value);
    }
    return out + length;
}

// At most kMaxLength characters at `out`; the end of what was written.
template <typename T>
char* Write(char* out, T value)
{
    using U = std::make_unsigned_t<T>;
    if constexpr (std::is_signed_v<T>) {
        if (value < 0) {
            *out++ = '-';
            return WriteUnsigned(out, static_cast<U>(U {0} - static_cast<U>(value)));
        }
    }
    return WriteUnsigned(out, static_cast<U>(value));
}

}  // namespace pdulog_detail::DecimalText
