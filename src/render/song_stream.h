// A song played on the emulated chip at its native rate, read in any pieces
// and sought exactly. As the song is first rendered, the whole render state
// is saved about every second of song time; a seek restores the nearest
// saved state before the target and renders forward to it, so the samples
// after a seek are those of an uninterrupted read. Reading and seeking
// allocate nothing: every buffer is made when the stream is opened.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "render/song_renderer.h"

namespace opl2 {

// What a front end shows of one channel.
struct ChannelView {
  bool key_on = false;
  int block = 0;       // 0..7
  int fnum = 0;        // 0..1023
  int instrument = 0;  // patch number last selected
  int volume = 0;      // last volume event's value
  bool muted = false;
  int32_t level = 0;  // largest |contribution| to the output since the last look
};

class SongStream : private TickBoundaryListener {
 public:
  // Length of a song that does not end within the search horizon.
  static constexpr uint64_t kNeverEnds = UINT64_MAX;
  // How far, without a cap, the end of a song is looked for: an hour.
  static constexpr uint64_t kSearchHorizon = 3600ull * kChipSampleRateHz;

  // Copies and loads `bytes`. Null, with a one-line reason in `error`, when
  // they are not a song.
  static std::unique_ptr<SongStream> Open(std::span<const uint8_t> bytes,
                                          const RenderOptions& options, std::string* error);
  // The same, but bytes that are not a song play as the player plays them:
  // nothing sounds, and the render ends half a second in (opl2tool render).
  static std::unique_ptr<SongStream> OpenAnyBytes(std::span<const uint8_t> bytes,
                                                  const RenderOptions& options);
  ~SongStream() override;

  // Up to `frames` samples; fewer only at the end.
  size_t Read(int16_t* out, size_t frames);
  // To sample `sample` (0..Length()); false, and nothing changes, past the end.
  bool Seek(uint64_t sample);
  uint64_t position() const { return renderer_.samples_rendered(); }
  // Samples Read delivers in all from the start, or kNeverEnds. For a song
  // whose channels all stop, the first call renders ahead to where the chip
  // falls silent (and comes back).
  uint64_t Length();

  void SetMutedChannels(uint16_t mask);
  uint16_t muted_channels() const { return muted_; }
  // Levels are measured while this is on (off at first: it costs time).
  void SetMeters(bool on);
  std::array<ChannelView, kChannelCount> ChannelViews();

  size_t snapshot_count() const { return snapshot_count_; }
  size_t snapshot_bytes() const { return snapshots_.capacity() * sizeof(RenderSnapshot); }
  uint64_t snapshot_interval() const { return interval_; }

 private:
  SongStream(std::unique_ptr<Song> song, const RenderOptions& options);
  // Starts the render of `song_` (null: not a song).
  void Start(const RenderOptions& options, bool is_song);
  void AtTickBoundary(const SongRenderer& renderer) override;
  // Renders forward, discarding, until `target` or the end.
  void SkipTo(uint64_t target);

  std::unique_ptr<Song> song_;
  SongRenderer renderer_;
  std::vector<RenderSnapshot> snapshots_;  // in order of position; capacity fixed at open
  size_t snapshot_count_ = 0;
  uint64_t interval_ = 0;
  uint64_t next_snapshot_ = 0;
  uint64_t length_ = 0;
  bool length_known_ = false;
  uint16_t muted_ = 0;
  std::array<int16_t, 4096> scratch_{};
};

}  // namespace opl2
