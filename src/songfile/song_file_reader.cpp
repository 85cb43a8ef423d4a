#include "songfile/song_file_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace opl2 {

SongFileReader::~SongFileReader() {
  Close();
}

bool SongFileReader::Open(const char* path) {
  Close();
  // Non-blocking so that a FIFO without a writer cannot stall the open.
  const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  window_start_ = 0;
  window_length_ = 0;
  return true;
}

void SongFileReader::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  window_length_ = 0;
}

int SongFileReader::ByteAt(int64_t offset) {
  if (fd_ < 0 || offset < 0) return -1;
  if (offset < window_start_ || offset >= window_start_ + window_length_) {
    window_start_ = offset;
    window_length_ = 0;
    while (window_length_ < kWindowSize) {
      const ssize_t n =
          ::pread(fd_, window_.data() + window_length_,
                  static_cast<size_t>(kWindowSize - window_length_), offset + window_length_);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      window_length_ += static_cast<int>(n);
    }
    if (window_length_ == 0) return -1;
  }
  return window_[static_cast<size_t>(offset - window_start_)];
}

bool SongFileReader::ReadAll(std::vector<uint8_t>* bytes) {
  bytes->clear();
  if (fd_ < 0) return false;
  for (;;) {
    const size_t at = bytes->size();
    bytes->resize(at + kWindowSize);
    const ssize_t n = ::pread(fd_, bytes->data() + at, kWindowSize, static_cast<off_t>(at));
    if (n < 0 && errno == EINTR) {
      bytes->resize(at);
      continue;
    }
    bytes->resize(at + static_cast<size_t>(n > 0 ? n : 0));
    if (n < 0) return false;
    if (n == 0) return true;
  }
}

}  // namespace opl2
