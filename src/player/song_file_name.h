// The fixed buffer that holds the song-file name for the whole run.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace opl2 {

// Size of the buffer, terminator included: names of up to 2,047 characters fit.
inline constexpr std::size_t kSongFileNameSize = 2048;

using SongFileName = std::array<char, kSongFileNameSize>;

// Copies `name` into `song_file_name` with its terminator and returns true.
// A name that does not fit (2,048 characters or more) or that holds a NUL
// character is never cut: the buffer is left empty and the result is false.
// The player takes such a name as one that does not exist.
bool StoreSongFileName(std::string_view name, SongFileName& song_file_name);

}  // namespace opl2
