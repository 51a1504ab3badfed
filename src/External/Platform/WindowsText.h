// Windows text conversion and error numbers that the Windows files of this folder share.
#pragma once

#include <cstddef>
#include <string>

#include <windows.h>

namespace pdulog_detail::Platform {

// The C library's error number for a Windows error: every call here that fails with errno
// set takes it from this one table. A sharing or lock violation is EACCES, as the C runtime
// has it: the store then falls back to reading a file that another program keeps others
// from writing.
int ErrorNumber(DWORD error);
// Sets errno from the Windows error; false, for a caller that fails with it.
bool Failed(DWORD error);

// The library's paths are UTF-8, so that they can name any file; each is turned into UTF-16
// where Windows takes it. Text that is not UTF-8 is read in the ANSI code page, as the
// narrow API read it. Public narrow strings stay in the ANSI code page.
bool ToWide(const char* text, std::size_t length, UINT page, DWORD flags, std::wstring& wide);
bool PathToWide(const std::string& path, std::wstring& wide);
// A path to hand to the system. No Windows file system holds a name longer than 255 UTF-16
// units, and the system's answer to one varies (not found, invalid name): it is told apart
// here, as POSIX tells it.
bool FileName(const std::string& path, std::wstring& wide);
// In the ANSI code page, a character that it cannot hold becomes '?' (no best fit: a
// look-alike could name another, existing file).
std::string FromWide(const std::wstring& wide, UINT page);

}  // namespace pdulog_detail::Platform
