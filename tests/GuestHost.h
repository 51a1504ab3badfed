// What the scenarios of guest_host share. A failed check is a line on standard output, and
// the run then exits 1.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>

void Check(bool ok, const char* what);
std::filesystem::path InitLog();
std::filesystem::path Store();
void Tick();  // an ERROR record "tick!"
// Every record whole: nothing but lines that each end in one record's text.
bool WholeRecords(const std::string& text);

// Calls `done` until it holds, 10 s at most: the library follows its store once a second.
template <typename Done>
bool Eventually(Done done)
{
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done())
        if (std::chrono::steady_clock::now() >= giveUp)
            return false;
    return true;
}

// The scenarios that only a POSIX host stages (guest_host_posix.cpp).
void ReplacedStore();
void BlockedWriter(bool hostsStream);
void WritesThatCannotBeMade();
void ForeignDescriptors();
