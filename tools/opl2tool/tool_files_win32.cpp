// The Windows side of tool_files.h: C runtime descriptors in binary mode,
// files identified by volume serial number and file index, outputs renamed
// into place with MoveFileExA.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "songtext/file_io.h"
#include "tool_files.h"

namespace opl2tool {
namespace {

// The identity of an open regular file on disk.
struct FileId {
  DWORD volume = 0;
  DWORD index_high = 0;
  DWORD index_low = 0;
};

bool IdentifyHandle(HANDLE h, FileId* id) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (h == INVALID_HANDLE_VALUE || h == nullptr || GetFileType(h) != FILE_TYPE_DISK ||
      !GetFileInformationByHandle(h, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return false;
  }
  *id = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
  return true;
}

// The regular file a path names ('-': standard input or output); false when
// there is none.
bool Identify(const std::string& path, DWORD std_handle, FileId* id) {
  if (path == "-") return IdentifyHandle(GetStdHandle(std_handle), id);
  const HANDLE h = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool ok = IdentifyHandle(h, id);
  CloseHandle(h);
  return ok;
}

bool ReadStream(int fd, std::vector<uint8_t>* out, uint64_t max_size) {
  uint8_t buf[1 << 16];
  for (;;) {
    const int n = ::_read(fd, buf, sizeof buf);
    if (n < 0) return false;
    if (n == 0) return true;
    out->insert(out->end(), buf, buf + n);
    if (out->size() > max_size) {
      errno = EFBIG;
      return false;
    }
  }
}

}  // namespace

std::string Quoted(const std::string& path, bool output) {
  if (path == "-") return output ? "standard output" : "standard input";
  return "'" + path + "'";
}

bool WritesOverAnInput(const CommandLine& cl, const std::string& output,
                       const std::vector<std::string>& inputs) {
  FileId out_id;
  if (!Identify(output, STD_OUTPUT_HANDLE, &out_id)) return false;
  for (const std::string& input : inputs) {
    FileId in_id;
    if (!Identify(input, STD_INPUT_HANDLE, &in_id)) continue;
    if (in_id.volume == out_id.volume && in_id.index_high == out_id.index_high &&
        in_id.index_low == out_id.index_low) {
      cl.Error("cannot write " + Quoted(output, true) + ": it is the input " + Quoted(input) +
               " (the same file); nothing written");
      return true;
    }
  }
  return false;
}

InputBytes::~InputBytes() = default;

// Files are read into memory (no mapping here): songs are small, and the
// size limit keeps a huge source from being read whole.
bool InputBytes::Read(const CommandLine& cl, const std::string& path, uint64_t max_size) {
  const bool is_stdin = path == "-";
  auto fail = [&](int err, int fd) {
    cl.Error("cannot read " + Quoted(path) + ": " + std::strerror(err));
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
    cl.Error("cannot read " + Quoted(path) + ": it holds more than " + std::to_string(max_size) +
             " bytes, more than opl2tool " + cl.command() + " reads");
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

bool WriteOutputFile(const CommandLine& cl, const std::string& path, const void* data,
                     size_t size) {
  if (path == "-") {
    const bool ok = std::fwrite(data, 1, size, stdout) == size;
    return FinishStandardOutput(cl) && ok;
  }
  std::string error;
  if (!opl2::songtext::WriteFileAtomically(path, data, size, &error)) {
    cl.Error("cannot write " + Quoted(path, true) + ": " + error);
    return false;
  }
  return true;
}

OutputStream::~OutputStream() {
  if (fd_ >= 0 && fd_ != 1) ::_close(fd_);
  if (!temp_.empty()) ::_unlink(temp_.c_str());
}

bool OutputStream::Fail(int err) {
  if (!failed_) {
    cl_->Error("cannot write " + Quoted(path_, true) + ": " + std::strerror(err));
  }
  failed_ = true;
  return false;
}

bool OutputStream::Open(const CommandLine& cl, const std::string& path) {
  cl_ = &cl;
  path_ = path;
  if (path == "-") {
    std::fflush(stdout);
    fd_ = 1;
    return true;
  }
  for (unsigned attempt = 0; attempt < 1000; ++attempt) {
    const std::string temp =
        path + ".tmp-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(attempt);
    fd_ = ::_open(temp.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY | _O_NOINHERIT,
                  _S_IREAD | _S_IWRITE);
    if (fd_ >= 0) {
      temp_ = temp;
      return true;
    }
    if (errno != EEXIST) break;
  }
  return Fail(errno);
}

bool OutputStream::Write(const void* data, size_t size) {
  if (failed_) return false;
  const auto* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    const unsigned chunk = size < (1u << 30) ? static_cast<unsigned>(size) : (1u << 30);
    const int n = ::_write(fd_, p, chunk);
    if (n <= 0) return Fail(n < 0 ? errno : EIO);
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool OutputStream::Commit() {
  if (failed_) return false;
  if (fd_ == 1) return true;
  const int fd = fd_;
  fd_ = -1;
  if (::_close(fd) != 0) return Fail(errno);
  if (!MoveFileExA(temp_.c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING)) return Fail(EACCES);
  temp_.clear();
  return true;
}

bool CanCreate(const CommandLine& cl, const std::string& path) {
  if (path == "-") return true;
  const size_t slash = path.find_last_of("/\\:");
  std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  if (dir.back() == ':') dir += '.';
  const DWORD attributes = GetFileAttributesA(dir.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return true;
  }
  cl.Error("cannot write " + Quoted(path, true) + ": " +
           std::strerror(attributes == INVALID_FILE_ATTRIBUTES ? ENOENT : ENOTDIR));
  return false;
}

bool FinishStandardOutput(const CommandLine& cl) {
  if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return true;
  const int err = errno;
  cl.Error("cannot write standard output: " + std::string(std::strerror(err != 0 ? err : EIO)));
  return false;
}

}  // namespace opl2tool
