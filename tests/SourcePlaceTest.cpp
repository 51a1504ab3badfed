#include "SourcePlace.h"

#include <gtest/gtest.h>

#include <string>

namespace {

template <std::size_t N>
std::string PlaceOf(const char (&file)[N])
{
    return SourcePlace<N>(file).c_str();
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
}

TEST(SourcePlace, NameWithoutSrcFolderStillReadsFromSrc)
{
    EXPECT_EQ(PlaceOf("CLog.cpp"), "src\\External\\CLog.cpp");
    EXPECT_EQ(PlaceOf("External/CUtil.cpp"), "src\\External\\CUtil.cpp");
    EXPECT_EQ(PlaceOf("/tmp/build/CLog.cpp"), "src\\External\\CLog.cpp");
}

TEST(SourcePlace, IsAvailableAtCompileTime)
{
    constexpr SourcePlace place("/x/src/External/CLog.cpp");
    static_assert(place.c_str()[0] == 's' && place.c_str()[3] == '\\', "cut at compile time");
    SUCCEED();
}

}  // namespace
