// Every seed song of the fuzzer, and every input that once broke the engine
// (tests/corpus/regressions/), loaded and played for 20,000 ticks: no tick
// may make more register writes than its bounded number of events allows,
// write outside 0x00..0xF5, or leave a channel where its next fetch could
// leave the track buffer or its loop depth the loop tables.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "engine/harness.h"
#include "opl/register_port.h"

namespace opl2::test {
namespace {

namespace fs = std::filesystem;

constexpr int kTicks = 20'000;
// Events of one step, each with at most 10 writes, a stop, four slide steps.
constexpr long kMaxWritesPerTick = kChannelCount * (kMaxEventsPerRow * 10L + 1 + 8);

class GuardChecker : public RegisterWriteSink, public TimerB {
 public:
  void OnRegisterWrite(uint8_t reg, uint8_t) override {
    if (reg > kLastResetRegister) ++bad_registers;
    ++writes;
  }
  void Arm(uint8_t) override {}
  long writes = 0;
  long bad_registers = 0;
};

// What decides which events the next ticks read and how many writes they
// make: the read positions, counters, live loop levels and slides. Once a
// tick leaves it as the tick before did, every later tick repeats that
// tick's course (a row of 130,000 events every tick then need not be
// played 20,000 times).
std::vector<int64_t> CourseOf(const Engine& e) {
  std::vector<int64_t> v{e.seq.playing, e.seq.timer_b_value};
  for (int c = 0; c < kChannelCount; ++c) {
    const ChannelState& ch = e.channels[c];
    v.insert(v.end(), {ch.read_pos, ch.active, ch.tick_count, ch.step_ticks, ch.loop_depth,
                       ch.has_loop_point, ch.loop_point_pos, ch.slide_active, ch.block_fnum_high,
                       ch.fnum_low, ch.slide_target});
    for (int d = 0; d <= ch.loop_depth && d < kLoopDepths; ++d) {
      v.insert(v.end(), {e.loops[c].loop_start[d], e.loops[c].loop_count[d]});
    }
  }
  return v;
}

// Plays `path`; an empty string when every guard held, else what broke.
std::string PlayWithinGuards(const std::string& path) {
  GuardChecker checker;
  RecordingPort port(&checker);
  auto engine = std::make_unique<Engine>();
  engine->port = &port;
  engine->timer = &checker;
  auto song = std::make_unique<Song>();
  if (StartSongFile(*engine, *song, path.c_str()) == LoadResult::kCannotOpen) return "cannot open";
  std::vector<int64_t> course = CourseOf(*engine);
  for (int tick = 1; tick <= kTicks; ++tick) {
    checker.writes = 0;
    TimerTick(*engine);
    if (checker.writes > kMaxWritesPerTick)
      return "too many writes at tick " + std::to_string(tick);
    for (int c = 0; c < kChannelCount; ++c) {
      const ChannelState& ch = engine->channels[c];
      if (ch.read_pos < 0 || ch.read_pos > kTrackBufferSize + 4) {
        return "channel " + std::to_string(c) + " read_pos " + std::to_string(ch.read_pos);
      }
      if (ch.loop_depth < 0 || ch.loop_depth >= kLoopDepths) {
        return "channel " + std::to_string(c) + " loop depth " + std::to_string(ch.loop_depth);
      }
    }
    std::vector<int64_t> now = CourseOf(*engine);
    if (now == course) break;
    course = std::move(now);
  }
  if (checker.bad_registers != 0) return "register above 0xF5";
  if (port.stray_accesses() != 0) return "access to a port other than the chip's";
  return "";
}

TEST(DamagedSongs, EverySeedAndRegressionInputPlays20000TicksWithinTheGuards) {
  const fs::path corpus = fs::path(OPL2_TEST_DATA_DIR).parent_path() / "corpus";
  int played = 0;
  for (const char* folder : {"fuzz_song", "regressions"}) {
    if (!fs::exists(corpus / folder)) continue;
    for (const auto& entry : fs::directory_iterator(corpus / folder)) {
      EXPECT_EQ(PlayWithinGuards(entry.path().string()), "") << entry.path();
      ++played;
    }
  }
  EXPECT_GE(played, 70);  // the seeds are there
}

}  // namespace
}  // namespace opl2::test
