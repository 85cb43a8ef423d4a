#include "songtext/file_io.h"

#include <cerrno>
#include <cstring>

#include "songtext/file_system.h"

namespace opl2::songtext {

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, std::string* error) {
  const int fd = OpenForReading(path);
  if (fd < 0) {
    *error = std::strerror(errno);
    return false;
  }
  if (!IsRegularFile(fd)) {
    *error = "not a regular file";
    CloseFile(fd);
    return false;
  }
  bytes->clear();
  uint8_t buf[1 << 16];
  for (;;) {
    const int64_t n = ReadSome(fd, buf, sizeof buf);
    if (n < 0) {
      *error = std::strerror(errno);
      CloseFile(fd);
      return false;
    }
    if (n == 0) break;
    bytes->insert(bytes->end(), buf, buf + n);
  }
  CloseFile(fd);
  return true;
}

bool WriteAll(int fd, const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    const int64_t n = WriteSome(fd, p, size);
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool WriteFileAtomically(const std::string& path, const void* data, size_t size,
                         std::string* error) {
  std::string temp;
  const int fd = CreateFileBeside(path, &temp);
  if (fd < 0) {
    *error = std::string("cannot create a file beside it: ") + std::strerror(errno);
    return false;
  }
  const bool written = WriteAll(fd, data, size);
  const int saved = errno;
  const bool closed = CloseFile(fd) == 0;
  if (!written || !closed) {
    *error = std::string("write failed: ") + std::strerror(!written ? saved : errno);
    RemoveFile(temp);
    return false;
  }
  if (!MoveFileOver(temp, path, error)) {
    RemoveFile(temp);
    return false;
  }
  return true;
}

}  // namespace opl2::songtext
