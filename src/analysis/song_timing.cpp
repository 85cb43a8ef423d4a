#include "analysis/song_timing.h"

#include <memory>

#include "bus/recording_port.h"
#include "bus/timer_b.h"
#include "sequencer/sequencer.h"
#include "sequencer/song_start.h"

namespace opl2::analysis {
namespace {

// Remembers the value each arming leaves Timer B with.
class VirtualTimer : public TimerB {
 public:
  void Arm(uint8_t timer_b_value) override { value = timer_b_value; }
  uint8_t value = kStartTimerBValue;
};

// A step count beyond any length byte: the channel never reads again.
constexpr int32_t kHeldTickCount = 256;

bool Settled(const ChannelState& ch, const ChannelTiming& t) {
  return ch.active != 1 || t.looped || t.held;
}

}  // namespace

double SongTiming::Seconds(uint64_t tick) const {
  const uint64_t cycles = tick < cycles_at_tick.size() ? cycles_at_tick[tick] : 0;
  return static_cast<double>(cycles) / kOpmClockHz;
}

SongTiming MeasureSong(const Song* song, const TimingLimits& limits) {
  SongTiming r;
  RecordingPort port;
  VirtualTimer timer;
  auto engine = std::make_unique<Engine>();
  engine->port = &port;
  engine->timer = &timer;
  r.load = StartSong(*engine, song);
  r.cycles_at_tick.push_back(0);
  r.channels.resize(kChannelCount);
  if (r.load != LoadResult::kLoaded) return r;
  for (int c = 0; c < kChannelCount; ++c) {
    r.channels[static_cast<size_t>(c)].started =
        engine->channels[static_cast<size_t>(c)].active == 1;
  }
  const uint64_t max_cycles = static_cast<uint64_t>(limits.max_seconds * kOpmClockHz);
  uint64_t cycles = 0;
  for (uint64_t tick = 1;; ++tick) {
    bool settled = true;
    for (int c = 0; c < kChannelCount; ++c) {
      settled = settled && Settled(engine->channels[static_cast<size_t>(c)],
                                   r.channels[static_cast<size_t>(c)]);
    }
    if (settled) break;
    const uint64_t next = cycles + TimerBPeriodCycles(timer.value);
    if (tick > limits.max_ticks || next > max_cycles) {
      r.capped = true;
      break;
    }
    cycles = next;
    r.cycles_at_tick.push_back(cycles);
    r.ticks_run = tick;
    const uint8_t before = engine->seq.timer_b_value;
    TimerTick(*engine);
    if (engine->seq.timer_b_value != before) {
      if (r.tempo_changes.size() < kMaxTempoChanges) {
        r.tempo_changes.push_back({tick, engine->seq.timer_b_value});
      } else {
        r.tempo_changes_cut = true;
      }
    }
    for (int c = 0; c < kChannelCount; ++c) {
      const ChannelState& ch = engine->channels[static_cast<size_t>(c)];
      ChannelTiming& t = r.channels[static_cast<size_t>(c)];
      if (!t.started || t.stopped) continue;
      if (ch.active != 1) {
        t.stopped = true;
        t.stop_tick = tick;
        continue;
      }
      // A row read this tick that left the channel running: a note, a rest
      // or a slide.
      if (ch.tick_count == 0) t.played = true;
      if (ch.has_loop_point == 1 && t.loop_point_tick == 0) t.loop_point_tick = tick;
      if (ch.loop_jumps > 0 && !t.looped) {
        t.looped = true;
        t.first_jump_tick = tick;
      }
      if (ch.tick_count >= kHeldTickCount && !t.held) {
        t.held = true;
        t.held_tick = tick - static_cast<uint64_t>(ch.tick_count);
      }
    }
  }
  return r;
}

}  // namespace opl2::analysis
