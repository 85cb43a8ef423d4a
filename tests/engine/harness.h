// Test scaffolding for the engine: songs built in memory, started from their
// bytes as the player starts them, with every register write and Timer B
// arming captured per tick.
#pragma once

#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bus/recording_port.h"
#include "sequencer/engine_voice.h"
#include "sequencer/sequencer.h"
#include "sequencer/song_start.h"
#include "songfile/song_file.h"

namespace opl2::test {

using Bytes = std::vector<uint8_t>;

struct Patch {
  uint8_t number;
  InstrumentPatch bytes;
};

// A song in the compact layout: header, tracks 0..8 end to end, bank, terminator.
inline Bytes BuildSong(const std::array<Bytes, kChannelCount>& tracks,
                       const std::vector<Patch>& patches = {}) {
  Bytes out(kHeaderSize, 0);
  out[0] = kSongFormatId;
  int bound = kHeaderSize - 1;
  auto put_word = [&](int offset, int value) {
    out[offset] = static_cast<uint8_t>(value & 0xFF);
    out[offset + 1] = static_cast<uint8_t>(value >> 8);
  };
  put_word(1, bound);
  for (int c = 0; c < kChannelCount; ++c) {
    out.insert(out.end(), tracks[c].begin(), tracks[c].end());
    bound += static_cast<int>(tracks[c].size());
    put_word(3 + 2 * c, bound);
  }
  put_word(kBankBoundOffset, bound);
  for (const Patch& p : patches) {
    out.push_back(p.number);
    out.insert(out.end(), p.bytes.begin(), p.bytes.end());
  }
  out.push_back(0);
  return out;
}

// Channel 0 plays `track`; channels 1..8 stop at once.
inline Bytes SongWithTrack0(const Bytes& track, const std::vector<Patch>& patches = {}) {
  std::array<Bytes, kChannelCount> tracks;
  tracks.fill(Bytes{EV_END});
  tracks[0] = track;
  return BuildSong(tracks, patches);
}

// A song file read for a test that starts a renderer or an exporter on it.
struct FileSong {
  explicit FileSong(const char* path) : result(LoadSongFile(path, *song)) {}
  // The song, or null for bytes that are not one.
  const Song* get() const { return result == LoadResult::kLoaded ? song.get() : nullptr; }
  std::unique_ptr<Song> song = std::make_unique<Song>();
  LoadResult result;
};

class TempFile {
 public:
  explicit TempFile(const Bytes& contents) {
    char name[] = "/tmp/opl2-test-XXXXXX";
    const int fd = mkstemp(name);
    path_ = name;
    if (fd >= 0) {
      if (!contents.empty()) {
        [[maybe_unused]] ssize_t n = write(fd, contents.data(), contents.size());
      }
      close(fd);
    }
  }
  ~TempFile() { unlink(path_.c_str()); }
  const char* path() const { return path_.c_str(); }

 private:
  std::string path_;
};

struct Write {
  long tick;
  uint8_t reg;
  uint8_t value;
  bool operator==(const Write&) const = default;
};

// Reads a song from bytes at the start-up's load step.
class BytesStart : public SongStartHooks {
 public:
  BytesStart(const Bytes& bytes, Song& storage) : bytes_(bytes), storage_(storage) {}
  LoadResult ReadSong(const Song*& song) override {
    song = &storage_;
    return LoadSong(bytes_, storage_);
  }

 private:
  const Bytes& bytes_;
  Song& storage_;
};

class Harness : public RegisterWriteSink, public TimerB {
 public:
  Harness() : port_(this), engine_(std::make_unique<Engine>()), song_(std::make_unique<Song>()) {
    engine_->port = &port_;
    engine_->timer = this;
    engine_->song = song_.get();  // for the voice driver tests, which start no song
  }

  LoadResult Start(const Bytes& song) {
    BytesStart hooks(song, *song_);
    return StartSong(*engine_, hooks);
  }
  // The same from a file, as the player reads it.
  LoadResult StartFile(const char* path) { return StartSongFile(*engine_, *song_, path); }

  void Tick(int count = 1) {
    for (int i = 0; i < count; ++i) {
      ++tick_;
      TimerTick(*engine_);
    }
  }

  // Writes made during tick `tick` (0 = start-up).
  std::vector<std::pair<int, int>> WritesAt(long tick) const {
    std::vector<std::pair<int, int>> out;
    for (const Write& w : writes_) {
      if (w.tick == tick) out.emplace_back(w.reg, w.value);
    }
    return out;
  }
  void ClearWrites() { writes_.clear(); }

  void OnRegisterWrite(uint8_t reg, uint8_t value) override {
    writes_.push_back({tick_, reg, value});
  }
  void Arm(uint8_t n) override { arms_.emplace_back(tick_, n); }

  Engine& engine() { return *engine_; }
  Song& song() { return *song_; }
  ChannelState& ch(int c) { return engine_->channels[c]; }
  RecordingPort& port() { return port_; }
  const std::vector<Write>& writes() const { return writes_; }
  const std::vector<std::pair<long, int>>& arms() const { return arms_; }
  long tick() const { return tick_; }

 private:
  RecordingPort port_;
  std::unique_ptr<Engine> engine_;
  std::unique_ptr<Song> song_;
  long tick_ = 0;
  std::vector<Write> writes_;
  std::vector<std::pair<long, int>> arms_;
};

using RegWrites = std::vector<std::pair<int, int>>;

}  // namespace opl2::test
