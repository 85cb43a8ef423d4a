#include "songfile/song_file_reader.h"

#include "songfile/song_file_access.h"

namespace opl2 {

SongFileReader::~SongFileReader() {
  Close();
}

bool SongFileReader::Open(const char* path) {
  Close();
  const int fd = OpenSongFile(path);
  if (fd < 0) return false;
  fd_ = fd;
  window_start_ = 0;
  window_length_ = 0;
  return true;
}

void SongFileReader::Close() {
  if (fd_ >= 0) CloseSongFile(fd_);
  fd_ = -1;
  window_length_ = 0;
}

int SongFileReader::ByteAt(int64_t offset) {
  if (fd_ < 0 || offset < 0) return -1;
  if (offset < window_start_ || offset >= window_start_ + window_length_) {
    window_start_ = offset;
    window_length_ = 0;
    while (window_length_ < kWindowSize) {
      const int64_t n = ReadSongFileAt(fd_, window_.data() + window_length_,
                                       static_cast<size_t>(kWindowSize - window_length_),
                                       offset + window_length_);
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
    const int64_t n =
        ReadSongFileAt(fd_, bytes->data() + at, kWindowSize, static_cast<int64_t>(at));
    bytes->resize(at + static_cast<size_t>(n > 0 ? n : 0));
    if (n < 0) return false;
    if (n == 0) return true;
  }
}

}  // namespace opl2
