#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "songtext/file_io.h"

namespace opl2::songtext {
namespace {

// A new file beside `path` that no one else has: path.tmp-PID-N.
int CreateTempBeside(const std::string& path, std::string* temp) {
  for (unsigned attempt = 0; attempt < 1000; ++attempt) {
    *temp = path + ".tmp-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(attempt);
    const int fd = ::_open(temp->c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY | _O_NOINHERIT,
                           _S_IREAD | _S_IWRITE);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

std::string WindowsError(DWORD code) {
  char text[256] = {};
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, text, sizeof text, nullptr);
  std::string message(text, n);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == '.' || message.back() == ' ')) {
    message.pop_back();
  }
  return message.empty() ? "Windows error " + std::to_string(code) : message;
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, std::string* error) {
  const int fd = ::_open(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  if (fd < 0) {
    *error = std::strerror(errno);
    return false;
  }
  struct _stat64 st {};
  if (::_fstat64(fd, &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG) {
    *error = "not a regular file";
    ::_close(fd);
    return false;
  }
  bytes->clear();
  uint8_t buf[1 << 16];
  for (;;) {
    const int n = ::_read(fd, buf, sizeof buf);
    if (n < 0) {
      *error = std::strerror(errno);
      ::_close(fd);
      return false;
    }
    if (n == 0) break;
    bytes->insert(bytes->end(), buf, buf + n);
  }
  ::_close(fd);
  return true;
}

bool WriteFileAtomically(const std::string& path, const void* data, size_t size,
                         std::string* error) {
  std::string temp;
  const int fd = CreateTempBeside(path, &temp);
  if (fd < 0) {
    *error = std::string("cannot create a file beside it: ") + std::strerror(errno);
    return false;
  }
  const auto* p = static_cast<const uint8_t*>(data);
  size_t done = 0;
  while (done < size) {
    const size_t chunk = size - done < (1u << 30) ? size - done : (1u << 30);
    const int n = ::_write(fd, p + done, static_cast<unsigned>(chunk));
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  const int saved = errno;
  const bool closed = ::_close(fd) == 0;
  if (done != size || !closed) {
    *error = std::string("write failed: ") + std::strerror(done != size ? saved : errno);
    ::_unlink(temp.c_str());
    return false;
  }
  if (!MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    *error = WindowsError(GetLastError());
    ::_unlink(temp.c_str());
    return false;
  }
  return true;
}

}  // namespace opl2::songtext
