// The song loader's reading of a song, over any source of bytes by offset:
// the bytes in memory (LoadSong) or a file read through a window (the file
// adapter in src/songfile). Every offset outside the source reads as -1.
#pragma once

#include <algorithm>
#include <cstdint>

#include "song/song_loader.h"

namespace opl2 {

// Reader: int ByteAt(int64_t offset), 0..255 or -1.
template <class Reader>
class SongParser {
 public:
  explicit SongParser(Reader& file) : file_(file) {}

  LoadResult Load(Song& song) {
    const int format_id = ReadFileByte() & 0xFF;
    if (format_id != kSongFormatId) return LoadResult::kNotASong;
    for (int k = 0; k < kTrackBoundCount; ++k) track_bound_[k] = ReadFileWord();
    file_pos_ += 4;  // reserved
    bank_bound_ = ReadFileWord();
    song.bank = {};
    ReadInstrumentBank(song.bank);
    for (int c = 0; c < kChannelCount; ++c) ReadTrack(song.tracks[c], c);
    return LoadResult::kLoaded;
  }

 private:
  int ReadFileByte() { return file_.ByteAt(file_pos_++); }

  int ReadFileWord() {
    const int low = ReadFileByte() & 0xFF;
    const int high = ReadFileByte();
    return high * 256 + low;
  }

  void ReadInstrumentBank(InstrumentBank& bank) {
    bank[0] = DEFAULT_PATCH;
    bool bank_record_seen = false;
    file_pos_ = static_cast<int64_t>(bank_bound_) + 1;
    for (;;) {
      const int p = ReadFileByte();
      // The end of the file ends a bank that lacks its terminator.
      if (p < 0) break;
      if (p == 0 && bank_record_seen) break;
      for (int i = 0; i < kPatchSize; ++i) {
        bank[p][i] = static_cast<uint8_t>(ReadFileByte() & 0xFF);
      }
      bank_record_seen = true;
    }
  }

  void ReadTrack(TrackBuffer& track, int c) {
    int n = 0;
    file_pos_ = static_cast<int64_t>(track_bound_[c]) + 1;
    while (file_pos_ <= track_bound_[c + 1] && n < kTrackBufferSize) {
      track[n++] = static_cast<uint8_t>(ReadFileByte() & 0xFF);
    }
    std::fill(track.begin() + n, track.end(), 0);
  }

  Reader& file_;
  int64_t file_pos_ = 0;
  int track_bound_[kTrackBoundCount] = {};
  int bank_bound_ = 0;
};

// Reads `source` into `song` (see LoadSong).
template <class Reader>
LoadResult ParseSong(Reader& source, Song& song) {
  return SongParser<Reader>(source).Load(song);
}

}  // namespace opl2
