#include "song_input.h"

#include <cstdio>
#include <span>

#include "song/song_format.h"
#include "song/song_loader.h"
#include "tool_platform.h"

namespace opl2tool {

SongInput::SongInput() : song_(std::make_unique<opl2::Song>()) {}

std::string WhyNotASong(const uint8_t* data, size_t size) {
  if (size == 0) return "is not a song: the file is empty";
  if (data[0] == opl2::kSongFormatId) return "";
  char buf[80];
  std::snprintf(buf, sizeof buf, "is not a song: its first byte is 0x%02X, not 0x%02X", data[0],
                opl2::kSongFormatId);
  return buf;
}

bool SongInput::Read(const CommandLine& cl, const std::string& path, uint64_t max_size) {
  if (!bytes_.Read(cl, path, max_size)) return false;
  const std::string why = WhyNotASong(bytes_.data(), bytes_.size());
  if (!why.empty() || opl2::LoadSong(std::span<const uint8_t>(bytes_.data(), bytes_.size()),
                                     *song_) != opl2::LoadResult::kLoaded) {
    cl.Error(Quoted(path) + " " + (why.empty() ? "is not a song" : why));
    return false;
  }
  return true;
}

std::string SongTitle(const std::string& path) {
  if (path == "-") return "";
  std::string name = BaseName(path);
  const size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

}  // namespace opl2tool
