#include "render/loop_finder.h"

#include <memory>
#include <utility>

#include "bus/recording_port.h"
#include "sequencer/sequencer.h"
#include "sequencer/song_start.h"

namespace opl2 {
namespace {

uint64_t Hash(const std::vector<int32_t>& values) {
  uint64_t h = 0x9E37'79B9'7F4A'7C15;
  for (const int32_t v : values) {
    h ^= static_cast<uint32_t>(v);
    h *= 0xBF58'476D'1CE4'E5B9;
    h ^= h >> 31;
  }
  return h;
}

// Every running channel has passed its loop point (and one runs).
bool AllRunningChannelsLoop(const Engine& engine) {
  bool any = false;
  for (const ChannelState& ch : engine.channels) {
    if (ch.active != 1) continue;
    if (ch.has_loop_point != 1) return false;
    any = true;
  }
  return any;
}

// The song played on its own, with what each tick writes and arms.
class Replica : private RegisterWriteSink, private TimerB {
 public:
  Replica() : engine_(std::make_unique<Engine>()), port_(this) {
    engine_->port = &port_;
    engine_->timer = this;
  }

  bool Start(const Song* song, uint64_t ticks) {
    if (StartSong(*engine_, song) != LoadResult::kLoaded) return false;
    for (uint64_t t = 0; t < ticks; ++t) Tick();
    return true;
  }

  // One tick; what it did is in output() until the next.
  void Tick() {
    output_.clear();
    TimerTick(*engine_);
  }

  // Takes over the other run's state.
  void CopyFrom(const Replica& other) {
    *engine_ = *other.engine_;
    engine_->port = &port_;
    engine_->timer = this;
  }

  const std::vector<int>& output() const { return output_; }
  const Engine& engine() const { return *engine_; }

 private:
  void OnRegisterWrite(uint8_t reg, uint8_t value) override { output_.push_back(reg << 8 | value); }
  void Arm(uint8_t timer_b_value) override { output_.push_back(0x10000 | timer_b_value); }

  std::unique_ptr<Engine> engine_;
  RecordingPort port_;
  std::vector<int> output_;
};

// Plays the song from tick `start` and (a copy of) `at_end`, which stands
// before tick `end`, side by side: true when their states become equal
// before any tick's writes or timer value differ.
bool PlaysTheSame(const Replica& at_end, uint64_t start, uint64_t end, const Song* song) {
  Replica a;
  Replica e;
  if (!a.Start(song, start)) return false;
  e.CopyFrom(at_end);
  std::vector<int32_t> state_a;
  std::vector<int32_t> state_e;
  for (uint64_t t = 0; t <= end - start; ++t) {
    PlaybackFingerprint(a.engine(), false, &state_a);
    PlaybackFingerprint(e.engine(), false, &state_e);
    if (state_a == state_e) return true;
    a.Tick();
    e.Tick();
    if (a.output() != e.output()) return false;
  }
  return false;
}

}  // namespace

void PlaybackFingerprint(const Engine& engine, bool coarse, std::vector<int32_t>* out) {
  out->clear();
  out->push_back(engine.seq.playing);
  out->push_back(engine.seq.timer_b_value);
  for (int c = 0; c < kChannelCount; ++c) {
    const ChannelState& ch = engine.channels[c];
    out->insert(out->end(), {ch.read_pos, ch.active, ch.tick_count, ch.step_ticks, ch.loop_depth,
                             ch.has_loop_point, ch.loop_point_pos, ch.detune, ch.retrigger,
                             ch.key_flag, ch.fnum_low, ch.block_fnum_high, ch.mod_level,
                             ch.car_level, ch.mod_ksl, ch.car_ksl, ch.connection, ch.slide_active});
    if (ch.slide_active == 1) {
      out->insert(out->end(), {ch.slide_from_note, ch.slide_to_note, ch.slide_target});
    }
    if (!coarse) {
      out->insert(out->end(), {ch.volume, ch.slide_target_high, ch.slide_target_low});
    }
    // Depths above loop_depth are written before they are read again.
    const int depth =
        ch.loop_depth >= 0 && ch.loop_depth < kLoopDepths ? ch.loop_depth : kLoopDepths - 1;
    for (int d = 0; d <= depth; ++d) {
      out->push_back(engine.loops[c].loop_start[d]);
      out->push_back(engine.loops[c].loop_count[d]);
    }
  }
}

std::optional<uint64_t> LoopFinder::CandidateHash(const Engine& engine) const {
  if (!AllRunningChannelsLoop(engine)) return std::nullopt;
  PlaybackFingerprint(engine, true, &scratch_);
  return Hash(scratch_);
}

void LoopFinder::BeforeTick(const Engine& engine, const TickMark& mark) {
  if (last_mark_) {
    if (const std::optional<uint64_t> hash = CandidateHash(engine)) {
      ticks_by_state_[*hash].push_back(*last_mark_);
    }
  }
  last_mark_ = mark;
}

std::optional<TickMark> LoopFinder::Find(const Engine& engine, const Song* song) const {
  if (!last_mark_) return std::nullopt;
  const std::optional<uint64_t> hash = CandidateHash(engine);
  if (!hash) return std::nullopt;
  const auto found = ticks_by_state_.find(*hash);
  if (found == ticks_by_state_.end()) return std::nullopt;
  const TickMark& end = *last_mark_;
  Replica at_end;
  if (!at_end.Start(song, end.tick)) return std::nullopt;

  int attempts = 0;
  for (const TickMark& start : found->second) {
    if (start.tick >= end.tick || attempts++ == kMaxAttempts) break;
    if (PlaysTheSame(at_end, start.tick, end.tick, song)) return start;
  }
  return std::nullopt;
}

}  // namespace opl2
