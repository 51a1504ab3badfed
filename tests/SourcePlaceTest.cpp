#include "SiteFunction.h"
#include "SourcePlace.h"

#include <gtest/gtest.h>

#include <string>

namespace {

template <std::size_t N>
std::string PlaceOf(const char (&file)[N])
{
    return SourcePlace<N>(file).c_str();
}

template <std::size_t N>
std::string LibraryPlaceOf(const char (&file)[N])
{
    return LibraryPlace(file).c_str();
}

template <std::size_t N>
std::string FunctionOf(const char (&pretty)[N])
{
    return SiteFunction<N>(pretty).c_str();
}

TEST(SourcePlace, CutsFromTheSrcFolderWhateverNameTheCompilerWasGiven)
{
    EXPECT_EQ(PlaceOf("/work/main/src/External/CLog.cpp"), "src\\External\\CLog.cpp");
    EXPECT_EQ(PlaceOf("../src/External/CUtil.cpp"), "src\\External\\CUtil.cpp");
    EXPECT_EQ(PlaceOf("src/External/CLog.cpp"), "src\\External\\CLog.cpp");
    EXPECT_EQ(PlaceOf("C:\\build\\src\\External\\CLog.cpp"), "src\\External\\CLog.cpp");
    // The last src folder is the library's own, not one higher up in a checkout.
    EXPECT_EQ(PlaceOf("/home/u/src/proj/src/External/CLog.cpp"), "src\\External\\CLog.cpp");
    // A folder merely ending in "src" is not the src folder.
    EXPECT_EQ(PlaceOf("/opt/mysrc/src/External/CLog.cpp"), "src\\External\\CLog.cpp");
    // A host's own file keeps its own folders.
    EXPECT_EQ(PlaceOf("/home/v/driver/src/mydriver/Link.cpp"), "src\\mydriver\\Link.cpp");
    EXPECT_EQ(LibraryPlaceOf("/home/v/driver/src/mydriver/Link.cpp"), "src\\mydriver\\Link.cpp");
}

TEST(SourcePlace, NameWithoutSrcFolderIsTheBareNameExceptForTheLibrarysOwnFiles)
{
    EXPECT_EQ(PlaceOf("Link.cpp"), "Link.cpp");
    EXPECT_EQ(PlaceOf("/home/v/driver/mydriver/Link.cpp"), "Link.cpp");
    EXPECT_EQ(PlaceOf("C:\\driver\\resources\\Link.cpp"), "Link.cpp");
    // The library's own sources compiled by another project from a folder of its choice.
    EXPECT_EQ(LibraryPlaceOf("CLog.cpp"), "src\\External\\CLog.cpp");
    EXPECT_EQ(LibraryPlaceOf("External/CUtil.cpp"), "src\\External\\CUtil.cpp");
    EXPECT_EQ(LibraryPlaceOf("/tmp/build/CLog.cpp"), "src\\External\\CLog.cpp");
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
    EXPECT_EQ(FunctionOf("int {anonymous}::Run(int, char**)"), "Run");
    EXPECT_EQ(FunctionOf("int (anonymous namespace)::Run(int, char**)"), "Run");
    EXPECT_EQ(FunctionOf("void (anonymous namespace)::Link::Poll()"), "Link::Poll");
    EXPECT_EQ(FunctionOf(""), "");
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
