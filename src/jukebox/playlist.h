// The list of songs to play, from the command line's names: a file as it
// is, a directory as its song files (files whose first byte is the song
// format's id, 2) sorted by name, and a pattern with * ? or [ that names no
// file as the files it matches, sorted. Files are read only when their turn
// comes, so a bad file costs a note then, not the whole list.
#pragma once

#include <random>
#include <string>
#include <vector>

namespace opl2::jukebox {

struct Playlist {
  std::vector<std::string> paths;
  // One line each for names that gave no file at all.
  std::vector<std::string> notes;
};

Playlist ExpandPlaylist(const std::vector<std::string>& names);

// The same songs in a random order.
void Shuffle(Playlist* list, std::mt19937* random);

}  // namespace opl2::jukebox
