#include "tool_files.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "songtext/file_io.h"

namespace opl2tool {
namespace {

// Device and inode of a path ('-': of standard input or output); false when
// there is no such file.
bool Identify(const std::string& path, int std_fd, struct stat* st) {
  if (path == "-") return ::fstat(std_fd, st) == 0;
  return ::stat(path.c_str(), st) == 0;
}

bool ReadStream(int fd, std::vector<uint8_t>* out, uint64_t max_size) {
  uint8_t buf[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
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
  struct stat out_st {};
  if (!Identify(output, STDOUT_FILENO, &out_st)) return false;
  for (const std::string& input : inputs) {
    struct stat in_st {};
    if (!Identify(input, STDIN_FILENO, &in_st)) continue;
    if (in_st.st_dev == out_st.st_dev && in_st.st_ino == out_st.st_ino && S_ISREG(in_st.st_mode)) {
      cl.Error("cannot write " + Quoted(output, true) + ": it is the input " + Quoted(input) +
               " (the same file); nothing written");
      return true;
    }
  }
  return false;
}

InputBytes::~InputBytes() {
  if (map_ != nullptr) ::munmap(map_, size_);
}

bool InputBytes::Read(const CommandLine& cl, const std::string& path, uint64_t max_size) {
  const bool is_stdin = path == "-";
  const int fd = is_stdin ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  auto fail = [&](int err) {
    cl.Error("cannot read " + Quoted(path) + ": " + std::strerror(err));
    if (!is_stdin && fd >= 0) ::close(fd);
    return false;
  };
  if (fd < 0) return fail(errno);
  struct stat st {};
  if (::fstat(fd, &st) != 0) return fail(errno);
  if (S_ISDIR(st.st_mode)) return fail(EISDIR);
  auto too_big = [&]() {
    cl.Error("cannot read " + Quoted(path) + ": it holds more than " + std::to_string(max_size) +
             " bytes, more than opl2tool " + cl.command() + " reads");
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
  if (fd_ >= 0 && fd_ != STDOUT_FILENO) ::close(fd_);
  if (!temp_.empty()) ::unlink(temp_.c_str());
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
    fd_ = STDOUT_FILENO;
    return true;
  }
  std::string temp = path + ".tmp-XXXXXX";
  fd_ = ::mkstemp(temp.data());
  if (fd_ < 0) return Fail(errno);
  temp_ = temp;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd_, 0666 & ~mask);
  return true;
}

bool OutputStream::Write(const void* data, size_t size) {
  if (failed_) return false;
  const auto* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd_, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Fail(n < 0 ? errno : EIO);
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool OutputStream::Commit() {
  if (failed_) return false;
  if (fd_ == STDOUT_FILENO) return true;
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) return Fail(errno);
  if (::rename(temp_.c_str(), path_.c_str()) != 0) return Fail(errno);
  temp_.clear();
  return true;
}

bool CanCreate(const CommandLine& cl, const std::string& path) {
  if (path == "-") return true;
  const size_t slash = path.find_last_of('/');
  const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  if (::access(dir.c_str(), W_OK | X_OK) == 0) return true;
  cl.Error("cannot write " + Quoted(path, true) + ": " + std::strerror(errno));
  return false;
}

bool FinishStandardOutput(const CommandLine& cl) {
  if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return true;
  const int err = errno;
  cl.Error("cannot write standard output: " + std::string(std::strerror(err != 0 ? err : EIO)));
  return false;
}

}  // namespace opl2tool
