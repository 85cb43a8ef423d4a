// The POSIX side of tool_file_system.h, and InputBytes, which maps a regular
// file rather than copy it.
#include "tool_file_system.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tool_files.h"

namespace opl2tool {

bool IdentifyFile(const std::string& path, bool output, FileIdentity* id) {
  struct stat st {};
  const int std_fd = output ? STDOUT_FILENO : STDIN_FILENO;
  if ((path == "-" ? ::fstat(std_fd, &st) : ::stat(path.c_str(), &st)) != 0) return false;
  if (!S_ISREG(st.st_mode)) return false;
  *id = {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
  return true;
}

int FolderRefusesNewFiles(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  return ::access(dir.c_str(), W_OK | X_OK) == 0 ? 0 : errno;
}

InputBytes::~InputBytes() {
  if (map_ != nullptr) ::munmap(map_, size_);
}

bool InputBytes::Read(const CommandLine& cl, const std::string& path, uint64_t max_size) {
  const bool is_stdin = path == "-";
  const int fd = is_stdin ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  auto fail = [&](int err) {
    CannotRead(cl, path, err);
    if (!is_stdin && fd >= 0) ::close(fd);
    return false;
  };
  if (fd < 0) return fail(errno);
  struct stat st {};
  if (::fstat(fd, &st) != 0) return fail(errno);
  if (S_ISDIR(st.st_mode)) return fail(EISDIR);
  auto too_big = [&]() {
    TooBigToRead(cl, path, max_size);
    if (!is_stdin) ::close(fd);
    return false;
  };
  if (S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) > max_size) return too_big();
  if (S_ISREG(st.st_mode) && st.st_size > 0) {
    void* map = ::mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    if (map != MAP_FAILED) {
      map_ = map;
      size_ = static_cast<size_t>(st.st_size);
      data_ = static_cast<const uint8_t*>(map);
      ::madvise(map, size_, MADV_SEQUENTIAL);
      if (!is_stdin) ::close(fd);
      return true;
    }
  }
  if (!ReadStream(fd, &copy_, max_size)) return errno == EFBIG ? too_big() : fail(errno);
  if (!is_stdin) ::close(fd);
  data_ = copy_.data();
  size_ = copy_.size();
  return true;
}

}  // namespace opl2tool
