#include "song/song_loader.h"

#include "opl/voice.h"
#include "song/song_file_reader.h"

namespace opl2 {
namespace {

class Loader {
 public:
  Loader(Engine& engine, SongFileReader& file) : engine_(engine), file_(file) {}

  LoadResult Load() {
    const int format_id = ReadFileByte() & 0xFF;
    if (format_id != kSongFormatId) return LoadResult::kNotASong;
    for (int k = 0; k < kTrackBoundCount; ++k) track_bound_[k] = ReadFileWord();
    file_pos_ += 4;  // reserved
    bank_bound_ = ReadFileWord();
    ReadInstrumentBank();
    ResetChannelState(engine_);
    for (int c = 0; c < kChannelCount; ++c) ReadTrack(c);
    return LoadResult::kLoaded;
  }

 private:
  int ReadFileByte() { return file_.ByteAt(file_pos_++); }

  int ReadFileWord() {
    const int low = ReadFileByte() & 0xFF;
    const int high = ReadFileByte();
    return high * 256 + low;
  }

  void ReadInstrumentBank() {
    engine_.bank[0] = DEFAULT_PATCH;
    for (int c = 0; c < kChannelCount; ++c) LoadPatch(engine_, c, 0);
    file_pos_ = static_cast<int64_t>(bank_bound_) + 1;
    for (;;) {
      const int p = ReadFileByte();
      // The end of the file ends a bank that lacks its terminator.
      if (p < 0) break;
      if (p == 0 && engine_.bank_record_seen == 1) break;
      for (int i = 0; i < kPatchSize; ++i) {
        engine_.bank[p][i] = static_cast<uint8_t>(ReadFileByte() & 0xFF);
      }
      engine_.bank_record_seen = 1;
    }
  }

  void ReadTrack(int c) {
    TrackBuffer& track = engine_.tracks[c];
    int n = 0;
    file_pos_ = static_cast<int64_t>(track_bound_[c]) + 1;
    while (file_pos_ <= track_bound_[c + 1] && n < kTrackBufferSize) {
      track[n++] = static_cast<uint8_t>(ReadFileByte() & 0xFF);
    }
  }

  Engine& engine_;
  SongFileReader& file_;
  int64_t file_pos_ = 0;
  int track_bound_[kTrackBoundCount] = {};
  int bank_bound_ = 0;
};

}  // namespace

LoadResult LoadSong(Engine& engine, const char* song_file_name) {
  SongFileReader file;
  if (!file.Open(song_file_name)) return LoadResult::kCannotOpen;
  return Loader(engine, file).Load();
}

}  // namespace opl2
