#include "TestSupport.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#ifdef _WIN32
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace test {

TempDir::TempDir()
{
    static std::atomic<unsigned> counter {0};
    std::random_device entropy;
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (;;) {
        std::ostringstream name;
        name << "pdulog-test-" << std::hex << entropy() << '-' << stamp << '-' << counter++;
        m_path = fs::temp_directory_path() / name.str();
        if (fs::create_directory(m_path))
            break;
    }
}

// Removes what it can and goes on: a file that a process still has mapped cannot be
// deleted on Windows, and the library's remove_all can spin on such a file there.
static void RemoveTree(const fs::path& path)
{
    std::error_code ignored;
    if (fs::is_directory(fs::symlink_status(path, ignored))) {
        std::vector<fs::path> children;
        for (fs::directory_iterator it(path, ignored), end; !ignored && it != end; it.increment(ignored))
            children.push_back(it->path());
        for (const fs::path& child : children)
            RemoveTree(child);
    }
    fs::remove(path, ignored);
}

TempDir::~TempDir()
{
    RemoveTree(m_path);
}

void SetEnv(const std::string& name, const std::string& value)
{
#ifdef _WIN32
    _putenv_s(name.c_str(), value.c_str());
#else
    setenv(name.c_str(), value.c_str(), 1);
#endif
}

void UnsetEnv(const std::string& name)
{
#ifdef _WIN32
    _putenv_s(name.c_str(), "");
#else
    unsetenv(name.c_str());
#endif
}

ScopedEnv::ScopedEnv(std::string name, const std::string& value)
    : m_name(std::move(name))
{
    const char* saved = std::getenv(m_name.c_str());
    m_wasSet = saved != nullptr;
    m_saved = m_wasSet ? saved : "";
    SetEnv(m_name, value);
}

ScopedEnv::~ScopedEnv()
{
    if (m_wasSet)
        SetEnv(m_name, m_saved);
    else
        UnsetEnv(m_name);
}

static int ExitStatus(int status)
{
#ifdef _WIN32
    return status;
#else
    if (status == -1 || (status & 0x7f) != 0)
        return -1;
    return (status >> 8) & 0xff;
#endif
}

int Run(const std::string& commandLine)
{
#ifdef _WIN32
    // cmd /c drops the outermost pair of quotes: give it one to drop.
    return ExitStatus(std::system(("\"" + commandLine + "\"").c_str()));
#else
    return ExitStatus(std::system(commandLine.c_str()));
#endif
}

Child::Child(const std::string& commandLine)
    : m_pipe(nullptr)
{
#ifdef _WIN32
    // Under wine, _popen now and then refuses (EINVAL) while many processes are starting;
    // nothing was started then, so asking again is safe.
    for (int attempt = 0; attempt < 5 && m_pipe == nullptr; ++attempt)
        m_pipe = _popen(("\"" + commandLine + "\"").c_str(), "rb");
#else
    m_pipe = popen(commandLine.c_str(), "r");
#endif
}

Child::~Child()
{
    Wait();
}

bool Child::ReadLine(std::string& line)
{
    line.clear();
    if (m_pipe == nullptr)
        return false;
    int c;
    while ((c = std::fgetc(static_cast<std::FILE*>(m_pipe))) != EOF) {
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            return true;
        }
        line += static_cast<char>(c);
    }
    return !line.empty();
}

int Child::Wait()
{
    if (m_pipe == nullptr)
        return -1;
#ifdef _WIN32
    const int status = _pclose(static_cast<std::FILE*>(m_pipe));
#else
    const int status = pclose(static_cast<std::FILE*>(m_pipe));
#endif
    m_pipe = nullptr;
    return ExitStatus(status);
}

std::string Quote(const std::string& word)
{
#ifdef _WIN32
    return "\"" + word + "\"";
#else
    std::string quoted = "'";
    for (const char c : word)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
#endif
}

int RunCapturing(const std::string& program, const std::vector<std::string>& args,
                 const fs::path& stderrFile, std::string& stderrText)
{
    std::string line = Quote(program);
    for (const std::string& arg : args)
        line += " " + Quote(arg);
    line += " 2> " + Quote(stderrFile.string());
    const int status = Run(line);
    stderrText = ReadFile(stderrFile);
    return status;
}

bool DescriptorIsOpen(int fd)
{
#ifdef _WIN32
    return _get_osfhandle(fd) != -1;
#else
    return fcntl(fd, F_GETFD) != -1;
#endif
}

ClosedDescriptor::ClosedDescriptor(int fd)
    : m_fd(fd)
{
#ifdef _WIN32
    m_saved = _dup(fd);
    _close(fd);
#else
    m_saved = dup(fd);
    close(fd);
#endif
}

ClosedDescriptor::~ClosedDescriptor()
{
#ifdef _WIN32
    _dup2(m_saved, m_fd);
    _close(m_saved);
#else
    dup2(m_saved, m_fd);
    close(m_saved);
#endif
}

std::string ReadPrefix(const fs::path& path, std::size_t count)
{
    std::ifstream in(path, std::ios::binary);
    std::string bytes(count, '\0');
    in.read(&bytes[0], static_cast<std::streamsize>(count));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

std::string ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string SlotBytes(const std::vector<int32_t>& slots)
{
    std::string bytes;
    for (const int32_t slot : slots) {
        const uint32_t v = static_cast<uint32_t>(slot);
        for (int shift = 0; shift < 32; shift += 8)
            bytes += static_cast<char>((v >> shift) & 0xFF);
    }
    return bytes;
}

fs::path StoreFolder(const fs::path& appData)
{
    return appData / "Krelt" / "PDUAPI";
}

fs::path StoreFile(const fs::path& appData)
{
    return StoreFolder(appData) / "DEBUG.CFG";
}

}  // namespace test
