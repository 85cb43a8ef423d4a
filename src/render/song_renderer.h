// Plays a song on the emulated chip with a virtual timer, as fast as the
// machine allows, and hands out the chip's samples at its native rate.
//
// Length: a song whose channels all stop ends once every channel has stopped
// and the chip has been silent for half a second. A looping song plays until
// every running channel has jumped back to its loop point `loops` times, then
// fades out over `fade_seconds`. `max_seconds` caps any render; a render
// still playing when the last `fade_seconds` before the cap begin (at most
// half the render) fades out over them, so a cut never ends on a click.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "bus/bus_timeline.h"
#include "bus/emulated_port.h"
#include "bus/virtual_timer.h"
#include "chip/opl2_chip.h"
#include "sequencer/channel_state.h"
#include "song/song_loader.h"

namespace opl2 {

// Watches a render from inside, for tools that record what the engine does.
class RenderObserver {
 public:
  virtual ~RenderObserver() = default;
  // Before each tick runs: the engine as the tick will find it, and the
  // master clock of the tick's first write.
  virtual void BeforeTick(const Engine& engine, uint64_t first_write_clock) = 0;
  // Every register write, start-up included, in time order.
  virtual void OnWrite(const TimedWrite& write) = 0;
};

// Why a render ended.
enum class RenderEnd {
  kNotEnded,
  kChannelsStopped,  // every channel stopped, then half a second of silence
  kLoopsDone,        // every running channel jumped back `loops` times
  kCap,              // max_seconds reached first
};

struct RenderOptions {
  double max_seconds = 600;
  int loops = 2;
  double fade_seconds = 8;
};

class SongRenderer : private TimedWriteSink {
 public:
  explicit SongRenderer(const RenderOptions& options);
  ~SongRenderer() override;

  // Set before Start() to see every write from the start on.
  void set_observer(RenderObserver* observer) { observer_ = observer; }

  // Resets the chip and starts the song, as the player does; null for
  // bytes that are not a song. The song must outlive the renderer.
  LoadResult Start(const Song* song);
  // The same for a song file, read into the renderer's own copy.
  LoadResult StartFile(const char* song_file_name);

  // Fills up to `max` samples; returns how many (0 once the song has ended).
  size_t Render(int16_t* out, size_t max);

  uint64_t samples_rendered() const { return position_; }
  // Register writes made by the engine and not yet applied to the chip.
  size_t queued_writes() const { return pending_.size() - pending_head_; }
  // Samples the render will have at most (the cap).
  uint64_t max_samples() const { return max_samples_; }
  const Engine& engine() const { return *engine_; }
  // The song playing (null when none is).
  const Song* song() const { return engine_->song; }

  // Once Render() has returned 0: why the render ended, and the master clock
  // at which the song's sound ends before any fade (the first write of the
  // tick that finished the loops, else the end of the last sample).
  RenderEnd end_reason() const;
  uint64_t end_clock() const;

 private:
  void OnTimedWrite(const TimedWrite& write) override;
  void CheckEnd();
  uint64_t NextTickSample() const;
  bool AllChannelsStopped() const;
  bool LoopsDone() const;
  void ApplyFades(int16_t* out, size_t n) const;

  RenderOptions options_;
  std::unique_ptr<Engine> engine_;
  std::unique_ptr<Song> own_song_;  // a song read from a file
  Chip chip_;
  BusTimeline timeline_;
  VirtualTimerB timer_;
  EmulatedPort port_;

  std::vector<TimedWrite> pending_;  // in time order
  size_t pending_head_ = 0;
  uint64_t position_ = 0;          // samples handed out
  uint64_t next_tick_sample_ = 0;  // the next tick runs when position_ reaches it
  uint64_t max_samples_ = 0;
  uint64_t end_sample_ = UINT64_MAX;  // set once the end is known
  uint64_t fade_start_ = UINT64_MAX;
  uint64_t fade_length_ = 0;
  uint64_t cut_fade_start_ = UINT64_MAX;  // where the fade before the cap begins
  uint64_t cut_fade_length_ = 0;
  bool cut_fade_decided_ = false;  // whether the render fades before the cap is known
  bool cut_fading_ = false;
  uint64_t tick_clock_ = 0;  // first write clock of the tick being run
  uint64_t fade_clock_ = 0;  // that clock for the tick that finished the loops
  bool started_ = false;
  RenderObserver* observer_ = nullptr;
};

}  // namespace opl2
