// A song read for a command that plays it (render, vgm, info): the file's
// bytes, or standard input for '-', loaded as the player loads them. Bytes
// that are not a song are refused with a message that names the file.
#pragma once

#include <memory>
#include <string>

#include "command_line.h"
#include "song/song.h"
#include "tool_files.h"

namespace opl2tool {

class SongInput {
 public:
  SongInput();

  // False after printing why (cannot read, or not a song).
  bool Read(const CommandLine& cl, const std::string& path, uint64_t max_size = UINT64_MAX);

  const opl2::Song& song() const { return *song_; }
  const InputBytes& bytes() const { return bytes_; }

 private:
  InputBytes bytes_;
  std::unique_ptr<opl2::Song> song_;
};

// "is not a song: ..." for bytes the loader refuses; empty for a song.
std::string WhyNotASong(const uint8_t* data, size_t size);

// The title a song's file suggests: its name without folders and extension
// (nothing for standard input).
std::string SongTitle(const std::string& path);

}  // namespace opl2tool
