// Byte access to a song file by absolute offset, as the loader reads it.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace opl2 {

class SongFileReader {
 public:
  SongFileReader() = default;
  ~SongFileReader();
  SongFileReader(const SongFileReader&) = delete;
  SongFileReader& operator=(const SongFileReader&) = delete;

  // Opens a regular file for reading. False for anything that cannot be read
  // as one (missing, no permission, a directory, a FIFO, a device).
  bool Open(const char* path);
  void Close();

  // The byte at `offset`, 0..255, or -1 where the file has no byte.
  int ByteAt(int64_t offset);
  // Every byte of the open file. False when it cannot be read.
  bool ReadAll(std::vector<uint8_t>* bytes);

 private:
  static constexpr int kWindowSize = 64 * 1024;
  int fd_ = -1;
  int64_t window_start_ = 0;
  int window_length_ = 0;
  std::array<uint8_t, kWindowSize> window_{};
};

}  // namespace opl2
