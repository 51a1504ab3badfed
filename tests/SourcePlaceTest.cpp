// A site's place and function name, made at compile time.
#include <pdulog/detail/SiteFunction.h>
#include <pdulog/detail/SourcePlace.h>

#include <gtest/gtest.h>

#include <string>

namespace {

using pdulog_detail::LibraryPlace;
using pdulog_detail::SiteFunction;
using pdulog_detail::SourcePlace;

template <std::size_t N>
std::string FunctionOf(const char (&pretty)[N])
{
    return SiteFunction<N>(pretty).c_str();
}

TEST(SourcePlace, CutsFromTheLastSrcFolderElseTheBareNameExceptForTheLibrarysOwnFiles)
{
    const struct {
        char file[64];  // the NULs after the name are part of no place
        const char* host;
        const char* library;
    } cases[] = {
        {"/work/main/src/External/CLog.cpp", "src\\External\\CLog.cpp", "src\\External\\CLog.cpp"},
        {"../src/External/CUtil.cpp", "src\\External\\CUtil.cpp", "src\\External\\CUtil.cpp"},
        {"src/External/CLog.cpp", "src\\External\\CLog.cpp", "src\\External\\CLog.cpp"},
        {"C:\\build\\src\\External\\CLog.cpp", "src\\External\\CLog.cpp", "src\\External\\CLog.cpp"},
        // The last src folder is the library's own, not one higher up in a checkout.
        {"/home/u/src/proj/src/External/CLog.cpp", "src\\External\\CLog.cpp", "src\\External\\CLog.cpp"},
        // A folder merely ending in "src" is not the src folder.
        {"/opt/mysrc/src/External/CLog.cpp", "src\\External\\CLog.cpp", "src\\External\\CLog.cpp"},
        {"/home/v/driver/src/mydriver/Link.cpp", "src\\mydriver\\Link.cpp", "src\\External\\Link.cpp"},
        // No src folder: a host's file is its bare name; the library's sources, compiled by
        // another project from a folder of its choice, still read from src\External.
        {"Link.cpp", "Link.cpp", "src\\External\\Link.cpp"},
        {"/home/v/driver/mydriver/Link.cpp", "Link.cpp", "src\\External\\Link.cpp"},
        {"C:\\driver\\resources\\Link.cpp", "Link.cpp", "src\\External\\Link.cpp"},
        {"External/CUtil.cpp", "CUtil.cpp", "src\\External\\CUtil.cpp"},
        {"/tmp/build/CLog.cpp", "CLog.cpp", "src\\External\\CLog.cpp"},
        // A src folder higher up in a checkout names a host's file from there, but never
        // the library's own: theirs is always src\External.
        {"/home/u/src/tp/External/CLog.cpp", "src\\tp\\External\\CLog.cpp", "src\\External\\CLog.cpp"},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(SourcePlace<sizeof c.file>(c.file).c_str(), c.host) << c.file;
        EXPECT_STREQ(LibraryPlace(c.file).c_str(), c.library) << c.file;
    }
}

TEST(SourcePlace, FunctionIsClassAndMemberOrTheFreeFunctionsName)
{
    EXPECT_EQ(FunctionOf("int main()"), "main");
    EXPECT_EQ(FunctionOf("static void CLog::Shutdown()"), "CLog::Shutdown");
    EXPECT_EQ(FunctionOf("virtual bool mydriver::Link::Poll(int, const char*)"), "Link::Poll");
    EXPECT_EQ(FunctionOf("CLog::CLog(FILE*)"), "CLog::CLog");
    EXPECT_EQ(FunctionOf("virtual CLog::~CLog()"), "CLog::~CLog");
    EXPECT_EQ(FunctionOf("std::map<int, int> Table<K, V>::Copy(std::pair<K, V>) [with K = int; V = int]"),
              "Table<K, V>::Copy");
    EXPECT_EQ(FunctionOf("void Link::operator()(int)"), "Link::operator()");
    EXPECT_EQ(FunctionOf("bool Op::operator<(const Op&) const"), "Op::operator<");
    EXPECT_EQ(FunctionOf("Op& Op::operator<<(int)"), "Op::operator<<");
    EXPECT_EQ(FunctionOf("bool n::T::operator>(const n::T&) const"), "T::operator>");
    EXPECT_EQ(FunctionOf("n::T* n::T::operator->()"), "T::operator->");
    EXPECT_EQ(FunctionOf("n::T& n::T::operator>>=(int)"), "T::operator>>=");
    EXPECT_EQ(FunctionOf("n::T::operator bool() const"), "T::operator bool");
    EXPECT_EQ(FunctionOf("bool operator==(const A&, const A&)"), "operator==");
    EXPECT_EQ(FunctionOf("bool Inner<U>::operator<=(const Inner<U>&) const [with U = int]"), "Inner<U>::operator<=");
    EXPECT_EQ(FunctionOf("int (* FnPtrRet())(int)"), "FnPtrRet");
    EXPECT_EQ(FunctionOf("int (& FnRefRet())(int)"), "FnRefRet");
    EXPECT_EQ(FunctionOf("void Operators::operatorless()"), "Operators::operatorless");
    EXPECT_EQ(FunctionOf("int {anonymous}::Run(int, char**)"), "Run");
    EXPECT_EQ(FunctionOf("int (anonymous namespace)::Run(int, char**)"), "Run");
    EXPECT_EQ(FunctionOf("void (anonymous namespace)::Link::Poll()"), "Link::Poll");
    EXPECT_EQ(FunctionOf(""), "");
    // MSVC's __FUNCSIG__: calling conventions, "class"/"struct" keywords, a blank after
    // "operator", its own anonymous namespace; the field is the one GCC's text gives.
    EXPECT_EQ(FunctionOf("void __cdecl Link::Poll(int)"), "Link::Poll");
    EXPECT_EQ(FunctionOf("int __thiscall Ns::Cls::Fn(void)"), "Cls::Fn");
    EXPECT_EQ(FunctionOf("class std::basic_string<char,struct std::char_traits<char>,class std::allocator<char> > "
                         "__cdecl f(void)"),
              "f");
    EXPECT_EQ(FunctionOf("__thiscall CLog::~CLog(void)"), "CLog::~CLog");
    EXPECT_EQ(FunctionOf("class std::map<int,int> __thiscall Table<int,int>::Copy(struct std::pair<int,int>)"),
              "Table<int,int>::Copy");
    EXPECT_EQ(FunctionOf("void __thiscall Link::operator ()(int)"), "Link::operator()");
    EXPECT_EQ(FunctionOf("bool __thiscall Op::operator <(const class Op &) const"), "Op::operator<");
    EXPECT_EQ(FunctionOf("__thiscall n::T::operator bool(void) const"), "T::operator bool");
    EXPECT_EQ(FunctionOf("int (__cdecl *__cdecl FnPtrRet(void))(int)"), "FnPtrRet");
    EXPECT_EQ(FunctionOf("void __cdecl Fn(__int64)"), "Fn");
    EXPECT_EQ(FunctionOf("int __cdecl `anonymous-namespace'::Run(int,char **)"), "Run");
    EXPECT_EQ(FunctionOf("void __cdecl `anonymous-namespace'::Link::Poll(void)"), "Link::Poll");
}

TEST(SourcePlace, IsAvailableAtCompileTime)
{
    constexpr SourcePlace place("/x/src/External/CLog.cpp");
    static_assert(place.c_str()[0] == 's' && place.c_str()[3] == '\\', "cut at compile time");
    constexpr SiteFunction function("void A::f()");
    static_assert(function.c_str()[0] == 'A' && function.c_str()[4] == '\0', "cut at compile time");
    SUCCEED();
}

}  // namespace
