#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <string>

#include "songtext/file_system.h"

namespace opl2::songtext {
namespace {

// _read and _write take an unsigned count: a larger block goes in parts.
constexpr size_t kLargestPart = size_t{1} << 30;

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

int OpenForReading(const std::string& path) {
  return ::_open(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

bool IsRegularFile(int fd) {
  struct _stat64 st {};
  return ::_fstat64(fd, &st) == 0 && (st.st_mode & _S_IFMT) == _S_IFREG;
}

int64_t ReadSome(int fd, void* buffer, size_t size) {
  return ::_read(fd, buffer, static_cast<unsigned>(size < kLargestPart ? size : kLargestPart));
}

int64_t WriteSome(int fd, const void* data, size_t size) {
  return ::_write(fd, data, static_cast<unsigned>(size < kLargestPart ? size : kLargestPart));
}

int CloseFile(int fd) {
  return ::_close(fd);
}

// path.tmp-PID-N, the first N that no file has yet.
int CreateFileBeside(const std::string& path, std::string* temp) {
  for (unsigned attempt = 0; attempt < 1000; ++attempt) {
    std::string name =
        path + ".tmp-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(attempt);
    const int fd = ::_open(name.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY | _O_NOINHERIT,
                           _S_IREAD | _S_IWRITE);
    if (fd >= 0) *temp = name;
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

bool MoveFileOver(const std::string& from, const std::string& to, std::string* error) {
  if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  *error = WindowsError(GetLastError());
  return false;
}

void RemoveFile(const std::string& path) {
  ::_unlink(path.c_str());
}

}  // namespace opl2::songtext
