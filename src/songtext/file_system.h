// The system calls under file_io.h and opl2tool's files, by each system's
// own rules: descriptors in binary mode that no program started from here
// inherits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace opl2::songtext {

// `path` opened for reading: a descriptor, or -1 with errno set.
int OpenForReading(const std::string& path);

// True when `fd` is a regular file on disk.
bool IsRegularFile(int fd);

// Reads up to `size` bytes, again when a signal cut in: how many, 0 at the
// end, -1 with errno set.
int64_t ReadSome(int fd, void* buffer, size_t size);

// Writes up to `size` bytes of `data`, again when a signal cut in: how
// many, -1 with errno set.
int64_t WriteSome(int fd, const void* data, size_t size);

// Writes all of `data`; false with errno set. The same on every system (in
// file_io.cpp).
bool WriteAll(int fd, const void* data, size_t size);

// 0, or -1 with errno set.
int CloseFile(int fd);

// A new file beside `path`, named `path`.tmp-SOMETHING that no other file
// has, open for writing with the permissions a new file gets: its
// descriptor, with its name in *temp, or -1 with errno set.
int CreateFileBeside(const std::string& path, std::string* temp);

// Renames `from` to `to`, replacing what `to` held; false with the reason
// in *error.
bool MoveFileOver(const std::string& from, const std::string& to, std::string* error);

void RemoveFile(const std::string& path);

}  // namespace opl2::songtext
