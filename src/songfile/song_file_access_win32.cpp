#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <sys/stat.h>

#include "songfile/song_file_access.h"

namespace opl2 {

int OpenSongFile(const char* path) {
  const int fd = ::_open(path, _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  if (fd < 0) return -1;
  // Only a file on disk: a console, a pipe or a device (CON, NUL) is not a song.
  struct _stat64 st {};
  if (::_fstat64(fd, &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG) {
    ::_close(fd);
    return -1;
  }
  return fd;
}

int64_t ReadSongFileAt(int fd, void* buffer, size_t size, int64_t offset) {
  if (::_lseeki64(fd, offset, SEEK_SET) != offset) return -1;
  return ::_read(fd, buffer, static_cast<unsigned>(size));
}

void CloseSongFile(int fd) {
  ::_close(fd);
}

}  // namespace opl2
