// Windows text conversion (UTF-8, the ANSI code page, UTF-16) and the C library's error numbers.
#include "WindowsText.h"

#include <cerrno>
#include <climits>

namespace pdulog_detail::Platform {

int ErrorNumber(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_BAD_PATHNAME: return ENOENT;
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_BUFFER_OVERFLOW: return ENAMETOOLONG;
    case ERROR_ACCESS_DENIED:
    case ERROR_NETWORK_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_CANNOT_MAKE:
    case ERROR_DRIVE_LOCKED: return EACCES;
    case ERROR_WRITE_PROTECT: return EROFS;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return ENOMEM;
    case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_PARAMETER: return EINVAL;
    case ERROR_DIRECTORY: return ENOTDIR;
    case ERROR_NOT_SAME_DEVICE: return EXDEV;
    default: return EIO;
    }
}

bool Failed(DWORD error)
{
    errno = ErrorNumber(error);
    return false;
}

bool ToWide(const char* text, std::size_t length, UINT page, DWORD flags, std::wstring& wide)
{
    wide.clear();
    if (length == 0)
        return true;
    if (length >= INT_MAX)
        return false;
    const int count = ::MultiByteToWideChar(page, flags, text, static_cast<int>(length), nullptr, 0);
    if (count == 0)
        return false;
    wide.resize(static_cast<std::size_t>(count));
    return ::MultiByteToWideChar(page, flags, text, static_cast<int>(length), &wide[0], count) == count;
}

bool PathToWide(const std::string& path, std::wstring& wide)
{
    if (path.size() >= INT_MAX) {
        errno = ENAMETOOLONG;
        return false;
    }
    if (ToWide(path.data(), path.size(), CP_UTF8, MB_ERR_INVALID_CHARS, wide)
        || ToWide(path.data(), path.size(), CP_ACP, 0, wide))
        return true;
    errno = EINVAL;
    return false;
}

bool FileName(const std::string& path, std::wstring& wide)
{
    if (!PathToWide(path, wide))
        return false;
    std::size_t run = 0;
    for (const wchar_t c : wide) {
        run = c == L'\\' || c == L'/' ? 0 : run + 1;
        if (run > 255) {
            errno = ENAMETOOLONG;
            return false;
        }
    }
    return true;
}

std::string FromWide(const std::wstring& wide, UINT page)
{
    if (wide.empty() || wide.size() >= INT_MAX / 4)
        return std::string();
    const bool exact = page == CP_UTF8 || ::GetACP() == CP_UTF8;
    const DWORD flags = exact ? 0 : WC_NO_BEST_FIT_CHARS;
    const char* substitute = exact ? nullptr : "?";
    const int length = static_cast<int>(wide.size());
    const int count = ::WideCharToMultiByte(page, flags, wide.data(), length, nullptr, 0, substitute, nullptr);
    if (count <= 0)
        return std::string();
    std::string text(static_cast<std::size_t>(count), '\0');
    ::WideCharToMultiByte(page, flags, wide.data(), length, &text[0], count, substitute, nullptr);
    return text;
}

}  // namespace pdulog_detail::Platform
