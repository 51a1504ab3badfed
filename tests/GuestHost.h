// What the scenarios of guest_host share. A failed check is a line on standard output, and
// the run then exits 1.
#pragma once

#include <filesystem>
#include <string>

void Check(bool ok, const char* what);
std::filesystem::path InitLog();
std::filesystem::path Store();
void Tick();  // an ERROR record "tick!"
// Every record whole: nothing but lines that each end in one record's text.
bool WholeRecords(const std::string& text);

// The scenarios that only a POSIX host stages (guest_host_posix.cpp).
void ReplacedStore();
void BlockedWriter(bool hostsStream);
void WritesThatCannotBeMade();
void ForeignDescriptors();
void CancelledWriters();
void Forks();
void OutOfDescriptors();
