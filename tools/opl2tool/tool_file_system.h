// What tool_files.cpp needs from each system beside the calls of
// songtext/file_system.h: which file a path is, whether a folder takes new
// files, and (in tool_file_system*.cpp) how InputBytes reads a file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "command_line.h"

namespace opl2tool {

// A regular file's place on its disk.
struct FileIdentity {
  uint64_t volume = 0;
  uint64_t index = 0;
};

// The regular file `path` names ('-': standard output when `output`, else
// standard input); false when it names none.
bool IdentifyFile(const std::string& path, bool output, FileIdentity* id);

// 0 when the folder that `path` would be made in takes new files, else the
// errno value that says why not.
int FolderRefusesNewFiles(const std::string& path);

// The shared parts of InputBytes::Read, in tool_files.cpp.

// Reads `fd` to its end into `out`; false with errno set, EFBIG when it holds
// more than `max_size` bytes.
bool ReadStream(int fd, std::vector<uint8_t>* out, uint64_t max_size);

// Print "cannot read 'X': reason", the reason being errno value `err` or
// the size over `max_size`.
void CannotRead(const CommandLine& cl, const std::string& path, int err);
void TooBigToRead(const CommandLine& cl, const std::string& path, uint64_t max_size);

}  // namespace opl2tool
