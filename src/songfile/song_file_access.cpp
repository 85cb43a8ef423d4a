#include "songfile/song_file_access.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace opl2 {

int OpenSongFile(const char* path) {
  // Non-blocking so that a FIFO without a writer cannot stall the open.
  const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

int64_t ReadSongFileAt(int fd, void* buffer, size_t size, int64_t offset) {
  for (;;) {
    const ssize_t n = ::pread(fd, buffer, size, static_cast<off_t>(offset));
    if (n >= 0 || errno != EINTR) return n;
  }
}

void CloseSongFile(int fd) {
  ::close(fd);
}

}  // namespace opl2
