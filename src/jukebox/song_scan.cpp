#include "jukebox/song_scan.h"

#include <algorithm>
#include <cstdint>
#include <memory>

#include "song/song_loader.h"

namespace opl2::jukebox {
namespace {

// Jumps back that every running channel with a loop point has made; none
// while a running channel has no loop point.
int64_t CompletedPasses(const Engine& engine) {
  int64_t least = -1;
  for (const ChannelState& ch : engine.channels) {
    if (ch.active != 1) continue;
    if (ch.has_loop_point != 1) return -1;
    const int64_t jumps = ch.loop_jumps;
    least = least < 0 ? jumps : std::min(least, jumps);
  }
  return least;
}

// Sees the engine before each tick, so a jump made during a tick shows at
// the next one and is dated at the tick that made it.
class PassRecorder : public RenderObserver {
 public:
  // With `loops` N >= 0 the song has N + 1 passes: the last one fades out
  // and may loop on inside the fade without counting.
  PassRecorder(LoopPasses* passes, int loops)
      : passes_(passes), most_(loops < 0 ? INT64_MAX : loops) {}
  void BeforeTick(const Engine& engine, uint64_t first_write_clock) override {
    const int64_t done = std::min(CompletedPasses(engine), most_);
    if (done > done_ && done > 0) {
      for (int64_t k = std::max<int64_t>(done_, 0); k < done; ++k) {
        passes_->starts.push_back(BusTimeline::SampleOfWrite(last_tick_clock_));
      }
      done_ = done;
    }
    last_tick_clock_ = first_write_clock;
  }
  void OnWrite(const TimedWrite&) override {}

 private:
  LoopPasses* passes_;
  int64_t most_;
  int64_t done_ = 0;
  uint64_t last_tick_clock_ = 0;
};

}  // namespace

int LoopPasses::PassAt(uint64_t sample) const {
  if (starts.empty()) return 0;
  const auto after = std::upper_bound(starts.begin(), starts.end(), sample);
  return 1 + static_cast<int>(after - starts.begin());
}

SongScan ScanSong(std::span<const uint8_t> bytes, const RenderOptions& options,
                  uint64_t horizon_samples) {
  SongScan scan;
  auto song = std::make_unique<Song>();
  const bool is_song = LoadSong(bytes, *song) == LoadResult::kLoaded;
  PassRecorder recorder(&scan.passes, options.loops);
  SongRenderer scout(options);
  scout.set_observer(&recorder);
  scout.Start(is_song ? song.get() : nullptr);
  scan.end = scout.ScanWithoutChip(horizon_samples);
  return scan;
}

}  // namespace opl2::jukebox
