// What the fuzz targets share: a private store folder, and a facility that starts once.
#include "FuzzSupport.h"

#include "CLog.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <streambuf>

namespace fuzz {

namespace {

class NullBuffer : public std::streambuf {
protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

}  // namespace

const std::string& Setup()
{
    static const std::string folder = [] {
        static NullBuffer null;
        std::cerr.rdbuf(&null);
        // Under the system's temporary folder (TMPDIR), and gone when the fuzzer ends.
        std::string pattern = (std::filesystem::temp_directory_path() / "pdulog-fuzz-XXXXXX").string();
        const char* made = mkdtemp(&pattern[0]);
        if (made == nullptr)
            std::abort();
        static const std::string path = made;
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        });
        setenv("APPDATA", path.c_str(), 1);
        setenv("TEMP", path.c_str(), 1);
        return path;
    }();
    return folder;
}

void QuietSink()
{
    std::FILE* null = std::fopen("/dev/null", "w");
    if (null == nullptr)
        return;
    std::FILE* previous = CLog::SetPipe(null);
    if (previous != nullptr && previous != stderr)
        std::fclose(previous);
}

}  // namespace fuzz
