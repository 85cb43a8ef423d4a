// Plays a song on the emulated chip with a virtual timer, as fast as the
// machine allows, and hands out the chip's samples at its native rate.
//
// Length: a song whose channels all stop ends once every channel has stopped
// and the chip has been silent for half a second (silence is looked for at
// every tick, every register write and every 16,384 samples, so the end does
// not depend on how the samples are asked for). A looping song plays until
// every running channel has jumped back to its loop point `loops` times,
// then fades out over `fade_seconds`. `max_seconds` caps any render; a
// render still playing when the last `fade_seconds` before the cap begin (at
// most half the render) fades out over them, so a cut never ends on a click.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "bus/bus_timeline.h"
#include "bus/emulated_port.h"
#include "bus/virtual_timer.h"
#include "chip/opl2_chip.h"
#include "render/render_snapshot.h"
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

class SongRenderer;

// Called before each tick, with every earlier write on the chip: the moment
// at which the renderer's state can be saved (SongRenderer::Save).
class TickBoundaryListener {
 public:
  virtual ~TickBoundaryListener() = default;
  virtual void AtTickBoundary(const SongRenderer& renderer) = 0;
};

// Why a render ended.
enum class RenderEnd {
  kNotEnded,
  kChannelsStopped,  // every channel stopped, then half a second of silence
  kLoopsDone,        // every running channel jumped back `loops` times
  kCap,              // max_seconds reached first
};

struct RenderOptions {
  double max_seconds = 600;  // 0: no cap
  int loops = 2;             // negative: for ever
  double fade_seconds = 8;
};

// What a run of the ticks alone (no chip) finds out about a song's end.
struct EndScan {
  bool known = false;        // the render ends at end_sample
  uint64_t end_sample = 0;   // samples the render makes in all, when known
  bool stops = false;        // every channel stops, at the tick of stop_sample;
  uint64_t stop_sample = 0;  // the sound ends once the chip falls silent after it
};

// Registers writes queued ahead of the chip before a read allocates: enough
// for every tick of every song seen; a tick that makes more grows the queue.
inline constexpr size_t kQueuedWritesReserved = 4096;

class SongRenderer : private TimedWriteSink {
 public:
  explicit SongRenderer(const RenderOptions& options);
  ~SongRenderer() override;

  // Set before Start() to see every write from the start on.
  void set_observer(RenderObserver* observer) { observer_ = observer; }
  void set_tick_listener(TickBoundaryListener* listener) { listener_ = listener; }

  // Resets the chip and starts the song, as the player does; null for
  // bytes that are not a song. The song must outlive the renderer.
  LoadResult Start(const Song* song);

  // Fills up to `max` samples; returns how many (0 once the song has ended).
  size_t Render(int16_t* out, size_t max);

  // On a renderer just started: runs the ticks alone, without the chip, up
  // to sample `horizon` or the end, to find where the render will end. The
  // renderer is spent afterwards (use a second one for the sound).
  EndScan ScanWithoutChip(uint64_t horizon);

  // The whole state, at a tick boundary only (from AtTickBoundary). False
  // when a channel has more loops open than a snapshot keeps.
  bool Save(RenderSnapshot* snapshot) const;
  // Back to a saved state of a renderer started on the same song with the
  // same options. The mute mask and the meter switch stay as they are.
  void Restore(const RenderSnapshot& snapshot);

  // Back to the start of the song, exactly as Start() left it.
  void Rewind();

  // The chip's output stage (see Chip): channels left out of the output,
  // and each channel's largest contribution since the last take.
  void SetMutedChannels(uint16_t mask);
  void SetChannelMeters(bool on);
  void TakeChannelPeaks(std::array<int32_t, kChannelCount>& peaks) {
    chip_.TakeChannelPeaks(peaks);
  }

  uint64_t samples_rendered() const { return position_; }
  // Register writes made by the engine and not yet applied to the chip.
  size_t queued_writes() const { return pending_.size() - pending_head_; }
  // Samples the render will have at most (the cap; UINT64_MAX for none).
  uint64_t max_samples() const { return max_samples_; }
  const Engine& engine() const { return *engine_; }
  // Every register as the chip has been given it up to the current sample.
  const std::array<uint8_t, 256>& applied_registers() const { return applied_; }
  // The song playing (null when none is).
  const Song* song() const { return engine_->song; }

  // Once Render() has returned 0: why the render ended, and the master clock
  // at which the song's sound ends before any fade (the first write of the
  // tick that finished the loops, else the end of the last sample).
  RenderEnd end_reason() const;
  uint64_t end_clock() const;
  // The end, once known (every sample the render makes); else UINT64_MAX.
  uint64_t end_sample() const;

 private:
  void OnTimedWrite(const TimedWrite& write) override;
  void RunTick();
  void ApplyDueWrites();
  void CheckEnd();
  uint64_t NextTickSample() const;
  bool AllChannelsStopped() const;
  bool LoopsDone() const;
  void ApplyFades(int16_t* out, size_t n) const;

  RenderOptions options_;
  std::unique_ptr<Engine> engine_;
  Chip chip_;
  BusTimeline timeline_;
  VirtualTimerB timer_;
  EmulatedPort port_;

  std::vector<TimedWrite> pending_;  // in time order
  std::array<uint8_t, 256> applied_{};
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
  uint16_t muted_ = 0;
  bool meters_ = false;
  bool scanning_ = false;                   // ticks alone: no writes kept, no chip
  uint64_t scan_stop_sample_ = UINT64_MAX;  // the tick at which every channel stopped
  RenderObserver* observer_ = nullptr;
  TickBoundaryListener* listener_ = nullptr;
};

}  // namespace opl2
