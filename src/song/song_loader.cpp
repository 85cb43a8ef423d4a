#include "song/song_loader.h"

#include "song/song_parser.h"

namespace opl2 {
namespace {

// The bytes of a song in memory, read the way the loader reads a file.
class ByteSpanReader {
 public:
  explicit ByteSpanReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
  int ByteAt(int64_t offset) const {
    if (offset < 0 || static_cast<uint64_t>(offset) >= bytes_.size()) return -1;
    return bytes_[static_cast<size_t>(offset)];
  }

 private:
  std::span<const uint8_t> bytes_;
};

}  // namespace

LoadResult LoadSong(std::span<const uint8_t> bytes, Song& song) {
  ByteSpanReader reader(bytes);
  return ParseSong(reader, song);
}

}  // namespace opl2
