// What every system shares of tool_files.h; tool_file_system*.cpp and
// songtext/file_system.h hold the calls that differ.
#include "tool_files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "songtext/file_io.h"
#include "songtext/file_system.h"
#include "tool_file_system.h"

namespace opl2tool {
namespace {

namespace files = opl2::songtext;

// Standard output's descriptor on every system.
constexpr int kStandardOutput = 1;

}  // namespace

bool ReadStream(int fd, std::vector<uint8_t>* out, uint64_t max_size) {
  uint8_t buf[1 << 16];
  for (;;) {
    const int64_t n = files::ReadSome(fd, buf, sizeof buf);
    if (n < 0) return false;
    if (n == 0) return true;
    out->insert(out->end(), buf, buf + n);
    if (out->size() > max_size) {
      errno = EFBIG;
      return false;
    }
  }
}

void CannotRead(const CommandLine& cl, const std::string& path, int err) {
  cl.Error("cannot read " + Quoted(path) + ": " + std::strerror(err));
}

void TooBigToRead(const CommandLine& cl, const std::string& path, uint64_t max_size) {
  cl.Error("cannot read " + Quoted(path) + ": it holds more than " + std::to_string(max_size) +
           " bytes, more than opl2tool " + cl.command() + " reads");
}

std::string Quoted(const std::string& path, bool output) {
  if (path == "-") return output ? "standard output" : "standard input";
  return "'" + path + "'";
}

bool WritesOverAnInput(const CommandLine& cl, const std::string& output,
                       const std::vector<std::string>& inputs) {
  FileIdentity out_id;
  if (!IdentifyFile(output, true, &out_id)) return false;
  for (const std::string& input : inputs) {
    FileIdentity in_id;
    if (!IdentifyFile(input, false, &in_id)) continue;
    if (in_id.volume == out_id.volume && in_id.index == out_id.index) {
      cl.Error("cannot write " + Quoted(output, true) + ": it is the input " + Quoted(input) +
               " (the same file); nothing written");
      return true;
    }
  }
  return false;
}

bool WriteOutputFile(const CommandLine& cl, const std::string& path, const void* data,
                     size_t size) {
  if (path == "-") {
    const bool ok = std::fwrite(data, 1, size, stdout) == size;
    return FinishStandardOutput(cl) && ok;
  }
  std::string error;
  if (!files::WriteFileAtomically(path, data, size, &error)) {
    cl.Error("cannot write " + Quoted(path, true) + ": " + error);
    return false;
  }
  return true;
}

OutputStream::~OutputStream() {
  if (fd_ >= 0 && fd_ != kStandardOutput) files::CloseFile(fd_);
  if (!temp_.empty()) files::RemoveFile(temp_);
}

bool OutputStream::Fail(int err) {
  return Fail(std::string(std::strerror(err)));
}

bool OutputStream::Fail(const std::string& reason) {
  if (!failed_) cl_->Error("cannot write " + Quoted(path_, true) + ": " + reason);
  failed_ = true;
  return false;
}

bool OutputStream::Open(const CommandLine& cl, const std::string& path) {
  cl_ = &cl;
  path_ = path;
  if (path == "-") {
    std::fflush(stdout);  // what was printed comes first
    fd_ = kStandardOutput;
    return true;
  }
  fd_ = files::CreateFileBeside(path, &temp_);
  return fd_ >= 0 || Fail(errno);
}

bool OutputStream::Write(const void* data, size_t size) {
  if (failed_) return false;
  return files::WriteAll(fd_, data, size) || Fail(errno);
}

bool OutputStream::Commit() {
  if (failed_) return false;
  if (fd_ == kStandardOutput) return true;
  const int fd = fd_;
  fd_ = -1;
  if (files::CloseFile(fd) != 0) return Fail(errno);
  std::string error;
  if (!files::MoveFileOver(temp_, path_, &error)) return Fail(error);
  temp_.clear();
  return true;
}

bool CanCreate(const CommandLine& cl, const std::string& path) {
  if (path == "-") return true;
  const int err = FolderRefusesNewFiles(path);
  if (err == 0) return true;
  cl.Error("cannot write " + Quoted(path, true) + ": " + std::strerror(err));
  return false;
}

bool FinishStandardOutput(const CommandLine& cl) {
  if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return true;
  const int err = errno;
  cl.Error("cannot write standard output: " + std::string(std::strerror(err != 0 ? err : EIO)));
  return false;
}

}  // namespace opl2tool
