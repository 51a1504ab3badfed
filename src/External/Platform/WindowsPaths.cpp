// Windows paths and environment: folder chains, %NAME% expansion, public narrow text.
#include "Platform.h"

#include "FaultInjection.h"
#include "WindowsText.h"

#include <cerrno>
#include <cstring>
#include <cwchar>
#include <string>

#include <windows.h>
#include <shlobj.h>

namespace pdulog_detail::Platform {

namespace {

// %NAME% expansion of the environment in its own (wide) form; false on failure.
bool ExpandWide(const std::wstring& text, std::wstring& expanded)
{
    DWORD capacity = ::ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    while (capacity != 0) {
        expanded.assign(capacity, L'\0');
        const DWORD needed = ::ExpandEnvironmentStringsW(text.c_str(), &expanded[0], capacity);
        if (needed == 0)
            break;
        if (needed <= capacity) {  // the variables may have grown in between: then again
            expanded.resize(std::wcslen(expanded.c_str()));
            return true;
        }
        capacity = needed;
    }
    expanded.clear();
    return false;
}

}  // namespace

namespace {

// The folder of a chain that could not be made: below the deepest folder that is there, or
// the deepest thing there that is no folder.
std::wstring FirstNotMade(const std::wstring& path)
{
    std::wstring below = path;
    for (std::size_t end = path.size(); end > 0; --end) {
        if (end != path.size() && path[end] != L'\\' && path[end] != L'/')
            continue;
        const std::wstring prefix = path.substr(0, end);
        const DWORD attributes = ::GetFileAttributesW(prefix.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            below = prefix;
            continue;
        }
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? below : prefix;
    }
    return below;
}

}  // namespace

bool CreateFolderChain(const std::string& path, std::string& failed)
{
    failed = path;
    if (Fault::Fails("CreateFolderChain"))
        return false;
    std::wstring wide;
    if (!FileName(path, wide))
        return false;
    const int rc = ::SHCreateDirectoryExW(nullptr, wide.c_str(), nullptr);
    DWORD error = ERROR_SUCCESS;
    if (rc != ERROR_SUCCESS && rc != ERROR_ALREADY_EXISTS && rc != ERROR_FILE_EXISTS) {
        error = static_cast<DWORD>(rc);
    } else {
        const DWORD attributes = ::GetFileAttributesW(wide.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            return true;
        error = attributes == INVALID_FILE_ATTRIBUTES ? ::GetLastError() : ERROR_ALREADY_EXISTS;
    }
    failed = FromWide(FirstNotMade(wide), CP_UTF8);
    return Failed(error);
}

// The public contract (Util::Env::Expand): ANSI code page in and out.
std::size_t ExpandEnvironment(const char* text, char* buffer, std::size_t size)
{
    std::wstring wide;
    std::wstring expanded;
    if (text == nullptr || !ToWide(text, std::strlen(text), CP_ACP, 0, wide) || !ExpandWide(wide, expanded)) {
        errno = EINVAL;
        return 0;
    }
    const std::string ansi = FromWide(expanded, CP_ACP);
    const std::size_t needed = ansi.size() + 1;
    if (buffer != nullptr && size >= needed)
        std::memcpy(buffer, ansi.c_str(), needed);
    return needed;
}

// A configured path's backslashes are Windows' own separators already.
bool ExpandPath(const std::string& configured, std::string& path)
{
    std::wstring wide;
    std::wstring expanded;
    path.clear();
    if (PathToWide(configured, wide) && ExpandWide(wide, expanded))
        path = FromWide(expanded, CP_UTF8);
    if (path.empty())
        errno = EINVAL;
    return !path.empty();
}

std::string PublicText(const std::string& path)
{
    std::wstring wide;
    return PathToWide(path, wide) ? FromWide(wide, CP_ACP) : path;
}

}  // namespace pdulog_detail::Platform
