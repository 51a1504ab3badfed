// What the tests share: fresh folders, the environment, child processes, file bytes.
#pragma once

#include <chrono>
#include <thread>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace test {

namespace fs = std::filesystem;

// A new, empty folder under the system's temporary folder, removed with its contents.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return m_path; }

private:
    fs::path m_path;
};

void SetEnv(const std::string& name, const std::string& value);
void UnsetEnv(const std::string& name);

// Gives a variable a value for its own lifetime, then restores what it was.
class ScopedEnv {
public:
    ScopedEnv(std::string name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::string m_saved;
    bool m_wasSet;
};

// Runs a command line; the exit status, or -1 when a signal ended it or it did not start.
// On POSIX the shell runs it. On Windows the program is started directly (no cmd.exe): the
// line may only end in a redirection of standard error, " 2> FILE" or " 2>&1".
int Run(const std::string& commandLine);
// A word quoted for the shell that Run uses.
std::string Quote(const std::string& word);
// Runs program with args, standard error captured; returns the exit status.
int RunCapturing(const std::string& program, const std::vector<std::string>& args, const fs::path& stderrFile,
                 std::string& stderrText);

// A child process whose standard output (and whatever the command line sends there) is
// read line by line as it comes. The command line is as for Run.
class Child {
public:
    explicit Child(const std::string& commandLine);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    // The next line without its line end; false at the end of the output.
    bool ReadLine(std::string& line);
    // Waits for the child; its exit status, or -1 when a signal ended it.
    int Wait();

private:
    void* m_pipe;               // the stream of the child's standard output
    void* m_process = nullptr;  // Windows: the child's process handle
};

// Standard descriptors for tests that close one: whether it is open, and a saved copy
// that puts it back.
bool DescriptorIsOpen(int fd);
class ClosedDescriptor {
public:
    explicit ClosedDescriptor(int fd);
    ~ClosedDescriptor();
    ClosedDescriptor(const ClosedDescriptor&) = delete;
    ClosedDescriptor& operator=(const ClosedDescriptor&) = delete;

private:
    int m_fd;
    int m_saved;
};

std::string ReadFile(const fs::path& path);
// At most `count` bytes from the file's start.
std::string ReadPrefix(const fs::path& path, std::size_t count);
void WriteFile(const fs::path& path, const std::string& bytes);

// The bytes of a store file holding these slot values, little-endian.
std::string SlotBytes(const std::vector<int32_t>& slots);

// Where the store lives below a given per-user data folder, in the build's folder, and the
// first folder of that chain (the build's names, PdulogIdentity.h).
fs::path StoreFolder(const fs::path& appData);
fs::path StoreFileIn(const fs::path& appData);
fs::path StoreTopFolder(const fs::path& appData);
// The build's log files in a temporary folder.
fs::path LogFile(const fs::path& temp);
fs::path InitLog(const fs::path& temp);

// A record's time of day at a line's start (hh:mm:ss.mmm), as a regular expression, and a
// text with each such time made "TT".
extern const char kTime[];
std::string MaskTimes(const std::string& text);

// Calls `done` until it holds, 10 s at most: the bound only keeps a process that never gets
// there from hanging the run. Whether it held.
template <typename Done>
bool Eventually(Done done)
{
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= giveUp)
            return false;
        // A pause between tries: on two busy cores a spinning test takes the time that the
        // work it waits for needs.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace test
