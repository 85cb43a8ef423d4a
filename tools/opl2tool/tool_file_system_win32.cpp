// The Windows side of tool_file_system.h: files identified by volume serial
// number and file index, and InputBytes reading into memory.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>

#include "tool_file_system.h"
#include "tool_files.h"

namespace opl2tool {
namespace {

bool IdentifyHandle(HANDLE h, FileIdentity* id) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (h == INVALID_HANDLE_VALUE || h == nullptr || GetFileType(h) != FILE_TYPE_DISK ||
      !GetFileInformationByHandle(h, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return false;
  }
  *id = {info.dwVolumeSerialNumber,
         (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
  return true;
}

}  // namespace

bool IdentifyFile(const std::string& path, bool output, FileIdentity* id) {
  if (path == "-")
    return IdentifyHandle(GetStdHandle(output ? STD_OUTPUT_HANDLE : STD_INPUT_HANDLE), id);
  const HANDLE h = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool ok = IdentifyHandle(h, id);
  CloseHandle(h);
  return ok;
}

int FolderRefusesNewFiles(const std::string& path) {
  const size_t slash = path.find_last_of("/\\:");
  std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  if (dir.back() == ':') dir += '.';
  const DWORD attributes = GetFileAttributesA(dir.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return ENOENT;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? 0 : ENOTDIR;
}

InputBytes::~InputBytes() = default;

// Files are read into memory (no mapping here): songs are small, and the
// size limit keeps a huge source from being read whole.
bool InputBytes::Read(const CommandLine& cl, const std::string& path, uint64_t max_size) {
  const bool is_stdin = path == "-";
  auto fail = [&](int err, int fd) {
    CannotRead(cl, path, err);
    if (!is_stdin && fd >= 0) ::_close(fd);
    return false;
  };
  if (!is_stdin) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return fail(EISDIR, -1);
    }
  }
  const int fd = is_stdin ? 0 : ::_open(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
  if (fd < 0) return fail(errno, fd);
  auto too_big = [&]() {
    TooBigToRead(cl, path, max_size);
    if (!is_stdin) ::_close(fd);
    return false;
  };
  struct _stat64 st {};
  if (::_fstat64(fd, &st) != 0) return fail(errno, fd);
  if ((st.st_mode & _S_IFMT) == _S_IFREG && static_cast<uint64_t>(st.st_size) > max_size) {
    return too_big();
  }
  if (!ReadStream(fd, &copy_, max_size)) return errno == EFBIG ? too_big() : fail(errno, fd);
  if (!is_stdin) ::_close(fd);
  data_ = copy_.data();
  size_ = copy_.size();
  return true;
}

}  // namespace opl2tool
