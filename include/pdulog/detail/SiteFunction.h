// Internal to pdulog, not for hosts (a site's function name, made at compile time): the macros need it at every site.
// The function field of a record made by PDULOG: the class and member name joined by two
// colons ("Link::Poll"), or the bare name of a free function ("main"), cut at compile
// time from the compiler's signature text: __PRETTY_FUNCTION__ of GCC and Clang ("virtual
// bool mydriver::Link::Poll(int)"), __FUNCSIG__ of MSVC ("bool __cdecl mydriver::Link::
// Poll(int)"). The same function gives the same field with either.
// Everything here is constexpr and keeps no state: usable from any thread.
#pragma once

#include <cstddef>

namespace pdulog_detail {

template <std::size_t N>
class SiteFunction {
public:
    constexpr explicit SiteFunction(const char (&pretty)[N])
    {
        const NameEnd name = FindNameEnd(pretty);
        const std::size_t begin = AfterAnonymousPrefixes(pretty, FindNameBegin(pretty, name), name.end);
        std::size_t out = 0;
        for (std::size_t i = begin; i < name.end; ++i)
            if (i != name.blank)
                m_text[out++] = pretty[i];
        m_text[out] = '\0';
        m_length = out;
    }

    // The function text; it lives as long as this object.
    constexpr const char* c_str() const { return m_text; }
    constexpr std::size_t size() const { return m_length; }

private:
    static constexpr char kAnonymous[] = "(anonymous namespace)";
    static constexpr const char* kAnonymousPrefixes[]
        = {"{anonymous}::", "(anonymous namespace)::", "`anonymous-namespace'::"};
    static constexpr const char* kCallingConventions[]
        = {"__cdecl ", "__stdcall ", "__thiscall ", "__fastcall ", "__vectorcall ", "__clrcall "};

    static constexpr char kOperator[] = "operator";

    // Where the name ends, and for an operator where its name starts and the blank that
    // MSVC puts after "operator" ("operator ()"), which the field leaves out; N where none.
    struct NameEnd {
        std::size_t end = 0;
        std::size_t op = N;
        std::size_t blank = N;
    };

    // The name ends at the parameter list: the first '(' outside template arguments, not
    // counting clang's "(anonymous namespace)", the one of "operator()" or the one of a
    // returned function pointer ("int (* Make())(int)", MSVC's "int (__cdecl * __cdecl
    // Make(void))(int)").
    static constexpr NameEnd FindNameEnd(const char (&pretty)[N])
    {
        NameEnd name;
        int depth = 0;
        for (; name.end + 1 < N; ++name.end) {
            const char c = pretty[name.end];
            if (depth == 0 && IsOperator(pretty, name.end))
                return OperatorEnd(pretty, name.end);
            if (c == '<')
                ++depth;
            else if (c == '>' && depth > 0)
                --depth;
            else if (c == '(' && depth == 0) {
                if (StartsWith(pretty, name.end, kAnonymous))
                    name.end += sizeof kAnonymous - 2;
                else if (!OpensFunctionPointer(pretty, name.end))
                    break;
            }
        }
        return name;
    }

    // An operator's name ends at the first '(' after its symbol, which may hold '<' and '>'
    // of its own.
    static constexpr NameEnd OperatorEnd(const char (&pretty)[N], std::size_t op)
    {
        NameEnd name;
        name.op = op;
        name.end = op + sizeof kOperator - 1;
        if (pretty[name.end] == ' ' && name.end + 2 < N && !IsIdentifier(pretty[name.end + 1]))
            name.blank = name.end++;
        if (StartsWith(pretty, name.end, "()"))
            name.end += 2;
        while (name.end + 1 < N && pretty[name.end] != '(')
            ++name.end;
        return name;
    }

    // The '(' at `at` opens a returned function pointer's declarator, not the parameters.
    static constexpr bool OpensFunctionPointer(const char (&text)[N], std::size_t at)
    {
        return at + 2 < N && (text[at + 1] == '*' || text[at + 1] == '&' || IsCallingConvention(text, at + 1));
    }

    // The name starts after the last blank before it (return type and specifiers) and keeps
    // only its last two components: class and member.
    static constexpr std::size_t FindNameBegin(const char (&pretty)[N], const NameEnd& name)
    {
        std::size_t begin = name.op != N ? name.op : name.end;
        std::size_t colons = 0;
        int depth = 0;
        while (begin > 0) {
            const char c = pretty[begin - 1];
            if (c == '>' || c == ')')
                ++depth;
            else if ((c == '<' || c == '(') && depth > 0)
                --depth;
            else if (depth == 0 && (c == ' ' || (c == ':' && begin >= 2 && pretty[begin - 2] == ':' && ++colons == 2)))
                break;
            --begin;
        }
        return begin;
    }

    // A free function in an anonymous namespace is named by itself.
    static constexpr std::size_t AfterAnonymousPrefixes(const char (&pretty)[N], std::size_t begin, std::size_t end)
    {
        for (const char* anonymous : kAnonymousPrefixes) {
            std::size_t length = 0;
            while (anonymous[length] != '\0')
                ++length;
            if (begin + length <= end && StartsWith(pretty, begin, anonymous))
                begin += length;
        }
        return begin;
    }

    static constexpr bool IsIdentifier(char c)
    {
        return c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    }

    // "operator" as a word of its own at `at`, not part of a longer name.
    static constexpr bool IsOperator(const char (&text)[N], std::size_t at)
    {
        const std::size_t after = at + sizeof kOperator - 1;
        return StartsWith(text, at, kOperator) && (at == 0 || !IsIdentifier(text[at - 1])) && after + 1 < N
               && !IsIdentifier(text[after]);
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
    std::size_t m_length = 0;
};

}  // namespace pdulog_detail
