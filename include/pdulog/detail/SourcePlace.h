// Internal to pdulog, not for hosts (a site's place, made at compile time): the macros need it at every site.
// The place field of a located record, cut from the compiler's file name at compile time:
// the path from the file's last `src` folder on, with backslashes. It comes out the same
// whatever form of the name the compiler was given: absolute, relative, with either
// separator, or with its folders stripped by a prefix map.
//   constexpr SourcePlace place(__FILE__);   // "src\mydriver\Link.cpp", or "Link.cpp"
// Everything here is constexpr and keeps no state: usable from any thread.
#pragma once

#include <cstddef>

namespace pdulog_detail {

template <std::size_t N>
class SourcePlace {
public:
    // A host's file: from its last src folder on; the bare file name when there is none.
    constexpr explicit SourcePlace(const char (&file)[N]) : SourcePlace(file, "") {}

    // With a folder (at most 16 characters): that folder and the file's bare name, whatever
    // folders the compiler's name holds.
    constexpr SourcePlace(const char (&file)[N], const char* folder)
    {
        std::size_t from = N;  // start of the last "src" folder component
        std::size_t base = 0;  // start of the file's own name
        for (std::size_t i = 0; i + 1 < N; ++i) {
            if (IsSeparator(file[i]))
                base = i + 1;
            if (i + 4 < N && file[i] == 's' && file[i + 1] == 'r' && file[i + 2] == 'c' && IsSeparator(file[i + 3])
                && (i == 0 || IsSeparator(file[i - 1])))
                from = i;
        }
        std::size_t out = 0;
        if (from == N || folder[0] != '\0') {
            for (std::size_t i = 0; folder[i] != '\0' && i < kFolderRoom; ++i)
                m_text[out++] = folder[i];
            from = base;
        }
        for (std::size_t i = from; i + 1 < N; ++i)
            m_text[out++] = IsSeparator(file[i]) ? '\\' : file[i];
        m_text[out] = '\0';
        m_length = out;
    }

    // The place text; it lives as long as this object.
    constexpr const char* c_str() const { return m_text; }
    constexpr std::size_t size() const { return m_length; }

private:
    static constexpr bool IsSeparator(char c) { return c == '/' || c == '\\'; }
    static constexpr std::size_t kFolderRoom = 16;

    char m_text[N + kFolderRoom] {};
    std::size_t m_length = 0;
};

// The place of one of the library's own files. They all live in src/External, and other
// projects compile them from wherever they keep them, under a src folder of their own or
// none: the place always reads "src\External\<file>", so the library's records are the
// same in every build.
template <std::size_t N>
constexpr SourcePlace<N> LibraryPlace(const char (&file)[N])
{
    return SourcePlace<N>(file, "src\\External\\");
}

}  // namespace pdulog_detail
