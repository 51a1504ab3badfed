// POSIX paths and environment: folder chains, %NAME% expansion, the per-user folders.
#include "Platform.h"

#include "FaultInjection.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sys/stat.h>

namespace pdulog_detail::Platform {

namespace {

// Whether the folder is there now, made here or before; errno says why not.
bool MadeOrThere(const std::string& folder)
{
    if (::mkdir(folder.c_str(), 0700) == 0)
        return true;
    const int error = errno;
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) {
        errno = error;
        return false;
    }
    if (!S_ISDIR(st.st_mode))
        errno = ENOTDIR;
    return S_ISDIR(st.st_mode);
}

}  // namespace

bool CreateFolderChain(const std::string& path, std::string& failed)
{
    failed = path;
    if (Fault::Fails("CreateFolderChain"))
        return false;
    if (path.empty()) {
        errno = ENOENT;
        return false;
    }
    // From the top down: the first folder that cannot be made is the cause, and nothing
    // below it can be made either.
    std::string prefix;
    prefix.reserve(path.size());
    for (std::size_t i = 0; i <= path.size(); ++i) {
        const bool end = i == path.size();
        if ((end || path[i] == '/') && !prefix.empty() && prefix.back() != '/' && !MadeOrThere(prefix)) {
            failed = prefix;
            return false;
        }
        if (!end)
            prefix += path[i];
    }
    return true;
}

namespace {

// An empty value counts as unset, as it does on Windows, where setting a variable to
// nothing removes it.
const char* Variable(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

// Per-user folders follow the XDG base-directory rule: a relative value is ignored like an
// unset one, or the store would land below whatever folder happens to be current.
const char* AbsoluteFolder(const char* name)
{
    const char* value = Variable(name);
    return value != nullptr && value[0] == '/' ? value : nullptr;
}

// The per-user data folder and the temporary folder have conventional homes on POSIX
// when the Windows variables are not set.
bool Lookup(const std::string& name, std::string& value)
{
    if (name == "APPDATA") {
        if (const char* appData = AbsoluteFolder("APPDATA"))
            value = appData;
        else if (const char* xdg = AbsoluteFolder("XDG_CONFIG_HOME"))
            value = xdg;
        else if (const char* home = AbsoluteFolder("HOME"))
            value = std::string(home) + "/.config";
        else
            return false;
        return true;
    }
    if (const char* v = Variable(name.c_str())) {
        value = v;
        return true;
    }
    if (name == "TEMP") {
        const char* tmp = Variable("TMPDIR");
        value = tmp != nullptr ? tmp : "/tmp";
        return true;
    }
    return false;
}

}  // namespace

// As ExpandEnvironmentStringsA does it: a reference to an undefined (or empty) name stays
// as it is, both signs included, and the text goes on after it.
std::size_t ExpandEnvironment(const char* text, char* buffer, std::size_t size)
{
    if (text == nullptr) {
        errno = EINVAL;
        return 0;
    }
    std::string out;
    const char* p = text;
    while (*p != '\0') {
        const char* percent = std::strchr(p, '%');
        const char* close = percent != nullptr ? std::strchr(percent + 1, '%') : nullptr;
        if (close == nullptr) {
            out += p;
            break;
        }
        out.append(p, percent);
        std::string value;
        if (close > percent + 1 && Lookup(std::string(percent + 1, close), value))
            out += value;
        else
            out.append(percent, close + 1);
        p = close + 1;
    }
    const std::size_t needed = out.size() + 1;
    if (buffer != nullptr && size >= needed)
        std::memcpy(buffer, out.c_str(), needed);
    return needed;
}

bool ExpandPath(const std::string& configured, std::string& path)
{
    std::string text = configured;
    for (char& c : text)
        if (c == '\\')
            c = '/';
    path.clear();
    const std::size_t needed = ExpandEnvironment(text.c_str(), nullptr, 0);
    if (needed == 0)
        return false;
    std::string buffer(needed, '\0');
    if (ExpandEnvironment(text.c_str(), &buffer[0], buffer.size()) != 0)
        path.assign(buffer.c_str());  // up to the first NUL
    if (path.empty())
        errno = EINVAL;
    return !path.empty();
}

std::string PublicText(const std::string& path) { return path; }

}  // namespace pdulog_detail::Platform
