#include "BenchStore.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace bench {

std::string PrivateAppData()
{
    namespace fs = std::filesystem;
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const fs::path folder = fs::temp_directory_path() / ("pdulog-bench-" + std::to_string(stamp));
    fs::create_directories(folder);
    // Gone when the benchmark ends, so that runs do not pile up in the temporary folder.
    static const fs::path made = folder;
    std::atexit([] {
        std::error_code ignored;
        fs::remove_all(made, ignored);
    });
#ifdef _WIN32
    _putenv_s("APPDATA", folder.string().c_str());
#else
    setenv("APPDATA", folder.string().c_str(), 1);
#endif
    return folder.string();
}

}  // namespace bench
