// What the tests share: temporary folders, files, child processes, the store's bytes.
#include "TestSupport.h"

#include "PdulogIdentity.h"

#include <algorithm>
#include <cerrno>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <regex>
#include <sstream>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace test {

static void RemoveTree(const fs::path& path);

static long ProcessId()
{
#ifdef _WIN32
    return static_cast<long>(GetCurrentProcessId());
#else
    return static_cast<long>(getpid());
#endif
}

static bool ProcessRuns(long id)
{
#ifdef _WIN32
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(id));
    const bool runs = process != nullptr && WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    if (process != nullptr)
        CloseHandle(process);
    return runs;
#else
    return kill(static_cast<pid_t>(id), 0) == 0 || errno == EPERM;
#endif
}

// A test that failed or timed out may have left its folder behind: each folder is named
// with its process's id, and a run removes those whose process is gone, never those of
// tests running beside it.
static void RemoveLeftovers()
{
    const std::string prefix = "pdulog-test-";
    std::error_code ignored;
    for (fs::directory_iterator it(fs::temp_directory_path(), ignored), end; !ignored && it != end;
         it.increment(ignored)) {
        const std::string name = it->path().filename().string();
        if (name.compare(0, prefix.size(), prefix) != 0)
            continue;
        const long id = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
        if (id > 0 && id != ProcessId() && !ProcessRuns(id))
            RemoveTree(it->path());
    }
}

TempDir::TempDir()
{
    static std::atomic<unsigned> counter {0};
    static const bool swept = (RemoveLeftovers(), true);
    (void)swept;
    std::random_device entropy;
    for (;;) {
        std::ostringstream name;
        name << "pdulog-test-" << ProcessId() << '-' << std::hex << entropy() << '-' << counter++;
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

TempDir::~TempDir() { RemoveTree(m_path); }

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

ScopedEnv::ScopedEnv(std::string name, const std::string& value) : m_name(std::move(name))
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

#ifndef _WIN32
static int ExitStatus(int status)
{
    if (status == -1 || (status & 0x7f) != 0)
        return -1;
    return (status >> 8) & 0xff;
}
#endif

#ifdef _WIN32

namespace {

// A command line split into the program's own line and its redirection of standard error.
struct Redirection {
    std::string line;
    std::string stderrFile;       // " 2> FILE"
    bool stderrToStdout = false;  // " 2>&1"
};

Redirection SplitRedirection(const std::string& commandLine)
{
    Redirection r;
    r.line = commandLine;
    const std::string both = " 2>&1";
    const std::size_t file = commandLine.rfind(" 2> ");
    if (commandLine.size() >= both.size()
        && commandLine.compare(commandLine.size() - both.size(), both.size(), both) == 0) {
        r.stderrToStdout = true;
        r.line.resize(commandLine.size() - both.size());
    } else if (file != std::string::npos) {
        r.stderrFile = commandLine.substr(file + 4);
        if (r.stderrFile.size() >= 2 && r.stderrFile.front() == '"' && r.stderrFile.back() == '"')
            r.stderrFile = r.stderrFile.substr(1, r.stderrFile.size() - 2);
        r.line.resize(file);
    }
    return r;
}

// Starts the line's program with these standard handles, which the child inherits. The
// tests start children from one thread, and the caller closes its copies of the child's
// ends right after: no other child inherits them, so a pipe ends when its child does.
HANDLE Start(const std::string& line, HANDLE out, HANDLE err)
{
    for (HANDLE h : {out, err})
        SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    STARTUPINFOA startup {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process {};
    std::vector<char> text(line.begin(), line.end());
    text.push_back('\0');
    if (!CreateProcessA(nullptr, text.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process))
        return nullptr;
    CloseHandle(process.hThread);
    return process.hProcess;
}

int WaitFor(HANDLE process)
{
    if (process == nullptr)
        return -1;
    WaitForSingleObject(process, INFINITE);
    DWORD code = 0;
    const bool known = GetExitCodeProcess(process, &code);
    CloseHandle(process);
    return known ? static_cast<int>(code) : -1;
}

}  // namespace

int Run(const std::string& commandLine)
{
    const Redirection r = SplitRedirection(commandLine);
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (!r.stderrFile.empty()) {
        err = CreateFileA(r.stderrFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (err == INVALID_HANDLE_VALUE)
            return -1;
    }
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    const HANDLE process = Start(r.line, out, r.stderrToStdout ? out : err);
    if (!r.stderrFile.empty())
        CloseHandle(err);
    return WaitFor(process);
}

Child::Child(const std::string& commandLine) : m_pipe(nullptr)
{
    const Redirection r = SplitRedirection(commandLine);
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!r.stderrFile.empty() || !CreatePipe(&readEnd, &writeEnd, nullptr, 0))
        return;
    m_process = Start(r.line, writeEnd, r.stderrToStdout ? writeEnd : GetStdHandle(STD_ERROR_HANDLE));
    CloseHandle(writeEnd);
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(readEnd), _O_RDONLY | _O_BINARY);
    m_pipe = fd == -1 ? nullptr : _fdopen(fd, "rb");
    if (m_pipe == nullptr && fd != -1)
        _close(fd);
    else if (fd == -1)
        CloseHandle(readEnd);
}

#else

int Run(const std::string& commandLine) { return ExitStatus(std::system(commandLine.c_str())); }

Child::Child(const std::string& commandLine) : m_pipe(popen(commandLine.c_str(), "r")) {}

#endif

Child::~Child() { Wait(); }

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
#ifdef _WIN32
    if (m_pipe != nullptr)
        std::fclose(static_cast<std::FILE*>(m_pipe));
    m_pipe = nullptr;
    const int status = WaitFor(static_cast<HANDLE>(m_process));
    m_process = nullptr;
    return status;
#else
    if (m_pipe == nullptr)
        return -1;
    const int status = pclose(static_cast<std::FILE*>(m_pipe));
    m_pipe = nullptr;
    return ExitStatus(status);
#endif
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

int RunCapturing(const std::string& program, const std::vector<std::string>& args, const fs::path& stderrFile,
                 std::string& stderrText)
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

ClosedDescriptor::ClosedDescriptor(int fd) : m_fd(fd)
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

static fs::path RelativeStoreFolder()
{
    std::string folder = PDULOG_STORE_FOLDER;  // with Windows' separators
    std::replace(folder.begin(), folder.end(), '\\', '/');
    return folder;
}

fs::path StoreFolder(const fs::path& appData) { return appData / RelativeStoreFolder(); }

fs::path StoreFileIn(const fs::path& appData) { return StoreFolder(appData) / "DEBUG.CFG"; }

fs::path StoreTopFolder(const fs::path& appData) { return appData / *RelativeStoreFolder().begin(); }

fs::path LogFile(const fs::path& temp) { return temp / PDULOG_LOG_FILE; }

fs::path InitLog(const fs::path& temp) { return temp / PDULOG_INIT_LOG_FILE; }

const char kTime[] = "\\d\\d:\\d\\d:\\d\\d\\.\\d{3}";

std::string MaskTimes(const std::string& text)
{
    return std::regex_replace(text, std::regex(std::string("(^|\n)") + kTime), "$1TT");
}

}  // namespace test
