// The place field of a located record: the source file's path from its `src` folder on,
// with backslashes, cut from the compiler's file name at compile time. It comes out the
// same whatever form of the name the compiler was given: absolute, relative, with either
// separator, or with its folders stripped by a prefix map.
#pragma once

#include <cstddef>

template <std::size_t N>
class SourcePlace {
public:
    constexpr explicit SourcePlace(const char (&file)[N])
    {
        std::size_t from = N;  // start of the last "src" folder component
        std::size_t base = 0;  // start of the file's own name
        for (std::size_t i = 0; i + 1 < N; ++i) {
            if (IsSeparator(file[i]))
                base = i + 1;
            if (i + 4 < N && file[i] == 's' && file[i + 1] == 'r' && file[i + 2] == 'c'
                && IsSeparator(file[i + 3]) && (i == 0 || IsSeparator(file[i - 1])))
                from = i;
        }
        std::size_t out = 0;
        if (from == N) {
            // No src folder in the name: the library's sources all live in src/External.
            for (const char c : "src\\External\\")
                if (c != '\0')
                    m_text[out++] = c;
            from = base;
        }
        for (std::size_t i = from; i + 1 < N; ++i)
            m_text[out++] = IsSeparator(file[i]) ? '\\' : file[i];
        m_text[out] = '\0';
    }

    constexpr const char* c_str() const { return m_text; }

private:
    static constexpr bool IsSeparator(char c) { return c == '/' || c == '\\'; }

    char m_text[N + 16] {};
};
