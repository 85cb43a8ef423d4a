#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdio>
#include <vector>

#include "songfile/song_file_reader.h"

namespace opl2 {

SongFileReader::~SongFileReader() {
  Close();
}

bool SongFileReader::Open(const char* path) {
  Close();
  const int fd = ::_open(path, _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  if (fd < 0) return false;
  // Only a file on disk: a console, a pipe or a device (CON, NUL) is not a song.
  struct _stat64 st {};
  if (::_fstat64(fd, &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG) {
    ::_close(fd);
    return false;
  }
  fd_ = fd;
  window_start_ = 0;
  window_length_ = 0;
  return true;
}

void SongFileReader::Close() {
  if (fd_ >= 0) ::_close(fd_);
  fd_ = -1;
  window_length_ = 0;
}

int SongFileReader::ByteAt(int64_t offset) {
  if (fd_ < 0 || offset < 0) return -1;
  if (offset < window_start_ || offset >= window_start_ + window_length_) {
    window_start_ = offset;
    window_length_ = 0;
    if (::_lseeki64(fd_, offset, SEEK_SET) != offset) return -1;
    while (window_length_ < kWindowSize) {
      const int n = ::_read(fd_, window_.data() + window_length_,
                            static_cast<unsigned>(kWindowSize - window_length_));
      if (n <= 0) break;
      window_length_ += n;
    }
    if (window_length_ == 0) return -1;
  }
  return window_[static_cast<size_t>(offset - window_start_)];
}

bool SongFileReader::ReadAll(std::vector<uint8_t>* bytes) {
  bytes->clear();
  if (fd_ < 0 || ::_lseeki64(fd_, 0, SEEK_SET) != 0) return false;
  for (;;) {
    const size_t at = bytes->size();
    bytes->resize(at + kWindowSize);
    const int n = ::_read(fd_, bytes->data() + at, static_cast<unsigned>(kWindowSize));
    bytes->resize(at + static_cast<size_t>(n > 0 ? n : 0));
    if (n < 0) return false;
    if (n == 0) return true;
  }
}

}  // namespace opl2
