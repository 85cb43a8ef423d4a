// The system calls under SongFileReader: a song file opened, read at an
// offset and closed, by each system's own rules.
#pragma once

#include <cstddef>
#include <cstdint>

namespace opl2 {

// `path` opened for reading when it is a regular file on disk, else -1
// (missing, no permission, a directory, a FIFO, a device, a console). Never
// waits for a writer.
int OpenSongFile(const char* path);

// Up to `size` bytes from `offset` on into `buffer`: how many, 0 at the end
// of the file, -1 on an error.
int64_t ReadSongFileAt(int fd, void* buffer, size_t size, int64_t offset);

void CloseSongFile(int fd);

}  // namespace opl2
