// The live output on simulated time: a timer that calls every Timer B
// period and a device that pulls a buffer at its own pace, both on one clock
// the test advances, so every run is exact and repeatable. What the device
// pulls is compared with a render of the same song (the renderer's own
// virtual timer, no device): whatever the device's pace, it must be the
// render, sample for sample.
#include "output/live_output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

#include "engine/busy_song.h"
#include "engine/harness.h"
#include "opl/register_port.h"
#include "opl/voice.h"
#include "render/song_renderer.h"
#include "songfile/song_file.h"

namespace opl2::test {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::nanoseconds;

Clock::time_point g_now;
Clock::time_point SimulatedNow() {
  return g_now;
}

constexpr int kBuffer = 512;
constexpr int64_t kSecond = 1'000'000'000;

class NoTimer : public TimerB {
 public:
  void Arm(uint8_t) override {}
};

// How the simulated device pulls.
struct DevicePace {
  double speed = 1.0;          // samples pulled per second, over the chip's rate
  int buffers = 1;             // buffers per pull (a bursty device pulls several)
  int64_t stall_from_ns = -1;  // pulls nothing in [stall_from, stall_to)
  int64_t stall_to_ns = -1;
};

class SimulatedPlay {
 public:
  // The first timer call comes `late_start_ns` after its period (a slow
  // start-up), while the device already pulls.
  explicit SimulatedPlay(const Bytes& song, int64_t late_start_ns = 0)
      : file_(song), engine_(std::make_unique<Engine>()), song_(std::make_unique<Song>()) {
    g_now = Clock::time_point(nanoseconds(kSecond));
    live_.set_clock(&SimulatedNow);
    live_.OpenWithoutDevice(kBuffer);
    engine_->port = &live_.port();
    engine_->timer = &timer_;
    EXPECT_EQ(StartSongFile(*engine_, *song_, file_.path()), LoadResult::kLoaded);
    next_call_ = Now() + PeriodNs() + late_start_ns;
    next_pull_ = Now();
  }

  // Runs timer calls and pulls until `until_ns`. The timer misses the calls
  // due in [timer_stall_from, timer_stall_to) and makes them at its end.
  void RunUntil(int64_t until_ns, const DevicePace& pace, int64_t timer_stall_from = -1,
                int64_t timer_stall_to = -1) {
    for (;;) {
      int64_t call_at = next_call_;
      if (call_at >= timer_stall_from && call_at < timer_stall_to) call_at = timer_stall_to;
      const int64_t at = std::min(call_at, next_pull_);
      if (at >= until_ns) return;
      g_now = Clock::time_point(nanoseconds(at));
      if (next_pull_ <= call_at) {
        if (!(at >= pace.stall_from_ns && at < pace.stall_to_ns)) Pull(pace.buffers);
        next_pull_ += static_cast<int64_t>(static_cast<double>(pace.buffers) * kBuffer * kSecond /
                                           (kChipSampleRateHz * pace.speed));
      } else {
        Engine& e = *engine_;
        live_.TimerCall([&] { return e.seq.playing == 1; },
                        [&] { return TimerBPeriodCycles(e.seq.timer_b_value); },
                        [&] { TimerTick(e); });
        next_call_ += PeriodNs();
      }
    }
  }

  // The key: ticks stop, the channels are keyed off, the chip is reset.
  void Shutdown() {
    engine_->seq.playing = 0;
    for (int c = 0; c < kChannelCount; ++c) KeyOff(*engine_, c);
    OplReset(*engine_->port);
  }

  int64_t Now() const { return g_now.time_since_epoch().count(); }
  uint64_t DevicePosition() {
    return live_.source().EstimatedPosition(g_now, static_cast<uint64_t>(kBuffer));
  }
  const std::vector<int16_t>& pulled() const { return pulled_; }
  LiveOutput& live() { return live_; }
  const char* song_path() const { return file_.path(); }
  uint64_t queued_writes() {
    StampedWriteQueue& q = live_.source().queue();
    return q.writes_pushed() - q.writes_taken();
  }

 private:
  int64_t PeriodNs() const {
    return static_cast<int64_t>(TimerBPeriodCycles(engine_->seq.timer_b_value)) * kSecond /
           kOpmClockHz;
  }
  void Pull(int buffers) {
    std::vector<int16_t> block(static_cast<size_t>(buffers * kBuffer));
    live_.source().Produce(block.data(), static_cast<int>(block.size()));
    pulled_.insert(pulled_.end(), block.begin(), block.end());
  }

  TempFile file_;
  std::unique_ptr<Engine> engine_;
  std::unique_ptr<Song> song_;
  NoTimer timer_;
  LiveOutput live_{kMaxWritesPerTick + 65'536};
  std::vector<int16_t> pulled_;
  int64_t next_call_ = 0;
  int64_t next_pull_ = 0;
};

std::vector<int16_t> Render(const char* path, double seconds) {
  RenderOptions options;
  options.max_seconds = seconds;
  options.loops = 1'000'000;
  options.fade_seconds = 0;  // no fade before the cut: the device plays on
  SongRenderer renderer(options);
  auto song = std::make_unique<Song>();
  EXPECT_EQ(LoadSongFile(path, *song), LoadResult::kLoaded);
  EXPECT_EQ(renderer.Start(song.get()), LoadResult::kLoaded);
  std::vector<int16_t> out(static_cast<size_t>(seconds * kChipSampleRate) + 1);
  out.resize(renderer.Render(out.data(), out.size()));
  return out;
}

size_t FirstSound(const std::vector<int16_t>& v) {
  return static_cast<size_t>(std::find_if(v.begin(), v.end(), [](int16_t s) { return s != 0; }) -
                             v.begin());
}

// How many samples of `pulled`, from its first sound on, equal the render
// from its first sound on.
size_t MatchingLength(const std::vector<int16_t>& pulled, const std::vector<int16_t>& render) {
  const size_t a = FirstSound(pulled);
  const size_t b = FirstSound(render);
  size_t n = 0;
  while (a + n < pulled.size() && b + n < render.size() && pulled[a + n] == render[b + n]) ++n;
  return n;
}

struct PaceCase {
  const char* what;
  uint8_t timer_b_value;
  DevicePace pace;
  int64_t late_start_ns = 0;
};

// Whatever pace the device keeps, it plays the render; a key reaches the
// sound within one buffer, one tick period and the bus time of one tick's
// writes (at most 300 samples in this song: the key-off follows them).
TEST(LiveOutputSimulated,
     TheDevicePlaysTheRenderWhateverItsPaceAndAKeyIsHeardWithinABufferAndATick) {
  const std::vector<PaceCase> cases = {
      {"steady", 180, {}},
      {"2 % fast, like SDL's disk driver at 512", 180, {1.0196}},
      {"2 % slow", 180, {0.98}},
      {"two buffers at a time", 180, {1.0, 2}},
      {"fast ticks on a fast device", 250, {1.0196}},
      {"slow ticks on a slow device", 20, {0.99}},
      {"a start-up that takes 0.3 s", 180, {}, 3 * kSecond / 10},
  };
  constexpr double kSeconds = 12;
  for (const PaceCase& c : cases) {
    SimulatedPlay play(SustainedOverBusyChannels(c.timer_b_value), c.late_start_ns);
    play.RunUntil(play.Now() + static_cast<int64_t>(kSeconds * kSecond), c.pace);
    const uint64_t at_key = play.DevicePosition();
    const uint64_t before_key = play.pulled().size();
    play.Shutdown();
    play.RunUntil(play.Now() + kSecond / 5, c.pace);

    const std::vector<int16_t> render = Render(play.song_path(), kSeconds + 2);
    const size_t first_sound = FirstSound(play.pulled());
    const size_t same = MatchingLength(play.pulled(), render);
    // Exact up to the key-off, which comes after the key.
    EXPECT_GE(first_sound + same, std::min<uint64_t>(at_key, before_key)) << c.what;
    const double period = 1024.0 * (256 - c.timer_b_value) / kOpmClockHz * kChipSampleRate;
    const double key_to_sound =
        static_cast<double>(first_sound + same) - static_cast<double>(at_key);
    EXPECT_LE(key_to_sound, kBuffer + period + 300) << c.what;
    std::printf("%-42s key to sound %5.1f ms (bound %5.1f ms)\n", c.what,
                1000 * key_to_sound / kChipSampleRate,
                1000 * (kBuffer + period + 300) / kChipSampleRate);

    const LiveOutput::Counters n = play.live().counters();
    EXPECT_EQ(n.reanchors, 0u) << c.what;
    EXPECT_EQ(n.late_writes, 0u) << c.what;
    EXPECT_EQ(n.lost_writes, 0u) << c.what;
    if (c.pace.speed > 1.0) {
      EXPECT_GT(n.extra, 0u) << c.what;
    }
    if (c.pace.speed < 1.0) {
      EXPECT_GT(n.held, 0u) << c.what;
    }
  }
}

// A device that stops pulling holds the song back: ticks wait, nothing piles
// up, nothing is lost, and when it pulls again the song goes on where it was.
TEST(LiveOutputSimulated, AStalledDeviceHoldsTheSongBackAndLosesNothing) {
  SimulatedPlay play(SustainedOverBusyChannels(250));
  const int64_t start = play.Now();
  DevicePace pace;
  pace.stall_from_ns = start + 3 * kSecond;
  pace.stall_to_ns = start + 8 * kSecond;
  play.RunUntil(start + 4 * kSecond, pace);
  const uint64_t ticks = play.live().counters().ticks;
  const uint64_t queued = play.queued_writes();
  play.RunUntil(start + 7 * kSecond, pace);
  // Three seconds of timer calls at Timer B 250 (about 1,660) ran no tick.
  EXPECT_EQ(play.live().counters().ticks, ticks);
  EXPECT_GT(play.live().counters().held, 1500u);
  EXPECT_EQ(play.queued_writes(), queued);
  EXPECT_LT(queued, 1000u);

  play.RunUntil(start + 11 * kSecond, pace);
  const std::vector<int16_t> render = Render(play.song_path(), 8);
  EXPECT_EQ(FirstSound(play.pulled()) + MatchingLength(play.pulled(), render),
            play.pulled().size());
  const LiveOutput::Counters n = play.live().counters();
  EXPECT_EQ(n.reanchors, 0u);
  EXPECT_EQ(n.late_writes, 0u);
  EXPECT_EQ(n.lost_writes, 0u);
}

}  // namespace
}  // namespace opl2::test
