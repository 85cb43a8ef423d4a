// The files a command reads and writes: '-' for standard input or output,
// the one-line messages for failures ("opl2tool CMD: cannot read 'X':
// reason"), and the guard that refuses to write over an input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "command_line.h"

namespace opl2tool {

// The name shown in messages: 'NAME', or "standard input"/"standard output"
// for '-'.
std::string Quoted(const std::string& path, bool output = false);

// True when `output` names the same file (device and inode) as one of the
// `inputs`, through links and `..` paths alike; then prints why nothing is
// written. '-' is standard input among the inputs and standard output as
// the output. An output that does not exist yet is never an input.
bool WritesOverAnInput(const CommandLine& cl, const std::string& output,
                       const std::vector<std::string>& inputs);

// The largest file the commands that take a song apart (info, disasm) read:
// their offsets are 32-bit, and no song needs more.
inline constexpr uint64_t kLargestReadableSong = 0x7FFF'FFFF;

// A whole input file, or standard input for '-'. Regular files are mapped
// rather than copied, so a huge source costs no memory of its own.
class InputBytes {
 public:
  InputBytes() = default;
  ~InputBytes();
  InputBytes(const InputBytes&) = delete;
  InputBytes& operator=(const InputBytes&) = delete;

  // False after printing "cannot read 'X': reason"; a file of more than
  // `max_size` bytes is such a reason.
  bool Read(const CommandLine& cl, const std::string& path, uint64_t max_size = UINT64_MAX);

  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  std::vector<uint8_t> copy_;
  void* map_ = nullptr;
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

// Writes a whole output file: to a temporary file beside it, renamed into
// place when complete (so it holds its old bytes or all the new ones), or to
// standard output for '-'. False after printing "cannot write 'X': reason".
bool WriteOutputFile(const CommandLine& cl, const std::string& path, const void* data, size_t size);

// An output written part by part: to a temporary file beside its name,
// renamed into place by Commit() (dropped otherwise), or standard output
// for '-'.
class OutputStream {
 public:
  OutputStream() = default;
  ~OutputStream();
  OutputStream(const OutputStream&) = delete;
  OutputStream& operator=(const OutputStream&) = delete;

  // Each false after printing "cannot write 'X': reason".
  bool Open(const CommandLine& cl, const std::string& path);
  bool Write(const void* data, size_t size);
  bool Commit();

 private:
  bool Fail(int err);
  bool Fail(const std::string& reason);

  const CommandLine* cl_ = nullptr;
  std::string path_;
  std::string temp_;
  int fd_ = -1;
  bool failed_ = false;
};

// False, after printing why, when `path`'s folder is missing or takes no new
// files: a check before long work whose result would be lost.
bool CanCreate(const CommandLine& cl, const std::string& path);

// Flushes standard output; false after printing "cannot write standard
// output: reason" (a full disk, /dev/full).
bool FinishStandardOutput(const CommandLine& cl);

}  // namespace opl2tool
