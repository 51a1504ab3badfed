// The single steps that the store file's tasks are made of, one system call or loop each.
#pragma once

// Each platform's files implement them; only the files of this folder (and their tests)
// call them.

#include <cstdint>
#include <string>

namespace pdulog_detail::Platform {

// Read and write, shared with every other process; -1 with errno set.
int OpenExisting(const std::string& path);
// The same, creating a missing file empty, readable and writable by its owner.
int OpenCreating(const std::string& path);
int OpenForReading(const std::string& path);
// Makes a store holding `data` at the path, whole as other processes see it, and opens it;
// a store that another process made meanwhile is opened. Where the file system cannot make
// a file appear whole, it is created empty. -1 with errno set, nothing left at the path.
int CreateStoreFile(const std::string& path, const void* data, uint32_t size);
bool Seek(int fd, uint64_t offset);
bool Write(int fd, const void* data, uint32_t size);

}  // namespace pdulog_detail::Platform
