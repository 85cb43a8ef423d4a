#include "songtext/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace opl2::songtext {

int OpenForReading(const std::string& path) {
  return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

bool IsRegularFile(int fd) {
  struct stat st {};
  return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

int64_t ReadSome(int fd, void* buffer, size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd, buffer, size);
    if (n >= 0 || errno != EINTR) return n;
  }
}

int64_t WriteSome(int fd, const void* data, size_t size) {
  for (;;) {
    const ssize_t n = ::write(fd, data, size);
    if (n >= 0 || errno != EINTR) return n;
  }
}

int CloseFile(int fd) {
  return ::close(fd);
}

int CreateFileBeside(const std::string& path, std::string* temp) {
  std::string name = path + ".tmp-XXXXXX";
  const int fd = ::mkstemp(name.data());
  if (fd < 0) return -1;
  // mkstemp makes it 0600: give it the mode any new file gets.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  *temp = name;
  return fd;
}

bool MoveFileOver(const std::string& from, const std::string& to, std::string* error) {
  if (::rename(from.c_str(), to.c_str()) == 0) return true;
  *error = std::strerror(errno);
  return false;
}

void RemoveFile(const std::string& path) {
  ::unlink(path.c_str());
}

}  // namespace opl2::songtext
