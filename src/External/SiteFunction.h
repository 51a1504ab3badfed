// The function field of a record made by PDULOG: the class and member name joined by two
// colons ("Link::Poll"), or the bare name of a free function ("main"), cut at compile
// time from the compiler's signature text: __PRETTY_FUNCTION__ of GCC and Clang ("virtual
// bool mydriver::Link::Poll(int)"), __FUNCSIG__ of MSVC ("bool __cdecl mydriver::Link::
// Poll(int)"). The same function gives the same field with either.
// Everything here is constexpr and keeps no state: usable from any thread.
#pragma once

#include <cstddef>

template <std::size_t N>
class SiteFunction {
public:
    constexpr explicit SiteFunction(const char (&pretty)[N])
    {
        // The name ends at the parameter list: the first '(' outside template arguments,
        // not counting clang's "(anonymous namespace)", the one of "operator()" or the one
        // of a returned function pointer ("int (* Make())(int)", MSVC's "int (__cdecl *
        // __cdecl Make(void))(int)"). An operator's name ends at the first '(' after its
        // symbol, which may hold '<' and '>' of its own; MSVC writes a blank before the
        // symbol ("operator ()"), which the field leaves out.
        std::size_t end = 0;
        std::size_t name = N;   // where "operator" starts, if the function is one
        std::size_t blank = N;  // the blank that MSVC puts after "operator"
        int depth = 0;
        for (; end + 1 < N; ++end) {
            const char c = pretty[end];
            if (depth == 0 && IsOperator(pretty, end)) {
                name = end;
                end += sizeof kOperator - 1;
                if (pretty[end] == ' ' && end + 2 < N && !IsIdentifier(pretty[end + 1]))
                    blank = end++;
                if (StartsWith(pretty, end, "()"))
                    end += 2;
                while (end + 1 < N && pretty[end] != '(')
                    ++end;
                break;
            }
            if (c == '<')
                ++depth;
            else if (c == '>' && depth > 0)
                --depth;
            else if (c == '(' && depth == 0) {
                if (StartsWith(pretty, end, kAnonymous))
                    end += sizeof kAnonymous - 2;
                else if (end + 2 < N && (pretty[end + 1] == '*' || pretty[end + 1] == '&'
                                         || IsCallingConvention(pretty, end + 1)))
                    continue;
                else
                    break;
            }
        }
        // It starts after the last blank before it (return type and specifiers) and keeps
        // only its last two components: class and member.
        std::size_t begin = name != N ? name : end;
        std::size_t colons = 0;
        depth = 0;
        while (begin > 0) {
            const char c = pretty[begin - 1];
            if (c == '>' || c == ')')
                ++depth;
            else if ((c == '<' || c == '(') && depth > 0)
                --depth;
            else if (depth == 0 && c == ' ')
                break;
            else if (depth == 0 && c == ':' && begin >= 2 && pretty[begin - 2] == ':' && ++colons == 2)
                break;
            --begin;
        }
        // A free function in an anonymous namespace is named by itself.
        for (const char* anonymous : kAnonymousPrefixes) {
            std::size_t length = 0;
            while (anonymous[length] != '\0')
                ++length;
            if (begin + length <= end && StartsWith(pretty, begin, anonymous))
                begin += length;
        }
        std::size_t out = 0;
        for (std::size_t i = begin; i < end; ++i)
            if (i != blank)
                m_text[out++] = pretty[i];
        m_text[out] = '\0';
    }

    // The function text; it lives as long as this object.
    constexpr const char* c_str() const { return m_text; }

private:
    static constexpr char kAnonymous[] = "(anonymous namespace)";
    static constexpr const char* kAnonymousPrefixes[] = {"{anonymous}::", "(anonymous namespace)::",
                                                         "`anonymous-namespace'::"};
    static constexpr const char* kCallingConventions[] = {"__cdecl ", "__stdcall ", "__thiscall ",
                                                          "__fastcall ", "__vectorcall ", "__clrcall "};

    static constexpr char kOperator[] = "operator";

    static constexpr bool IsIdentifier(char c)
    {
        return c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    }

    // "operator" as a word of its own at `at`, not part of a longer name.
    static constexpr bool IsOperator(const char (&text)[N], std::size_t at)
    {
        const std::size_t after = at + sizeof kOperator - 1;
        return StartsWith(text, at, kOperator) && (at == 0 || !IsIdentifier(text[at - 1]))
               && after + 1 < N && !IsIdentifier(text[after]);
    }

    // MSVC's calling convention at `at`, which inside parentheses marks a function pointer.
    static constexpr bool IsCallingConvention(const char (&text)[N], std::size_t at)
    {
        for (const char* convention : kCallingConventions)
            if (StartsWith(text, at, convention))
                return true;
        return false;
    }

    static constexpr bool StartsWith(const char (&text)[N], std::size_t at, const char* prefix)
    {
        for (std::size_t i = 0; prefix[i] != '\0'; ++i)
            if (at + i + 1 >= N || text[at + i] != prefix[i])
                return false;
        return true;
    }

    char m_text[N] {};
};
