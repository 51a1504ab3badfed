// Environment helpers: %NAME% expansion as Windows does it, on every platform.
#include <pdulog/CUtil.h>

#include "Platform/Platform.h"

#include <vector>

namespace Platform = pdulog_detail::Platform;

bool Util::Env::Expand(const std::string& text, std::string& result)
{
    result.clear();
    const std::size_t needed = Platform::ExpandEnvironment(text.c_str(), nullptr, 0);
    if (needed == 0)
        return false;
    std::vector<char> buffer(needed, '\0');
    if (Platform::ExpandEnvironment(text.c_str(), buffer.data(), buffer.size()) != 0)
        result.assign(buffer.data());  // up to the first NUL
    return !result.empty();
}
