// A seeded generator of song files for the round-trip tests: well-formed
// songs, songs in unusual layouts, and damaged files.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

namespace opl2::test {

using Bytes = std::vector<uint8_t>;

class RandomSongs {
 public:
  explicit RandomSongs(uint32_t seed) : rng_(seed) {}

  // A track of `events` events of every kind, loops nested up to 4 deep.
  Bytes Track(int events);
  // Header, nine tracks and a terminated bank, end to end.
  Bytes CompactSong();
  // The same parts in a shuffled order with gaps, overlaps, a bank before
  // the tracks, decreasing bounds, tracks past the end, bytes after the end.
  Bytes ScrambledSong();
  // A song with a few bytes changed, cut short, or lengthened.
  Bytes DamagedSong();
  // Short files, empty files, files not starting with 2, random bytes.
  Bytes OddFile();
  // One of the above, picked at random.
  Bytes Any();

  int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  uint8_t Byte() { return static_cast<uint8_t>(Int(0, 255)); }

 private:
  void Event(Bytes& out, int depth);
  Bytes Bank(int records, bool terminated);

  std::mt19937 rng_;
};

}  // namespace opl2::test
