// opl2tool info and the timing behind it, against durations worked out by
// hand: a tick lasts 1024 * (256 - N) / 3,400,000 s (77,824 cycles at N=180,
// 57,344 at N=200), and every track reads its first row at tick 16.
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "analysis/song_timing.h"
#include "songtext/assembler.h"
#include "songtext/file_io.h"
#include "tools/run_tool.h"

namespace opl2::test {
namespace {

constexpr double kClock = 3'400'000.0;
const std::string kOthersEnd =
    "channel 1 { end } channel 2 { end } channel 3 { end } channel 4 { end }\n"
    "channel 5 { end } channel 6 { end } channel 7 { end } channel 8 { end }\n";

class SongFile {
 public:
  explicit SongFile(const std::string& source) {
    char name[] = "/tmp/opl2-info-XXXXXX";
    close(mkstemp(name));
    path_ = name;
    const songtext::AssembleResult r = songtext::Assemble(source);
    EXPECT_TRUE(r.ok());
    std::string error;
    EXPECT_TRUE(songtext::WriteFileAtomically(path_, r.bytes.data(), r.bytes.size(), &error));
  }
  ~SongFile() { unlink(path_.c_str()); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The output of `info --json`, parsed: a parse error fails the test.
nlohmann::json Json(const std::string& args) {
  const ToolResult r = RunCommand(Tool("info --json " + args));
  EXPECT_EQ(r.status, 0) << r.err;
  return nlohmann::json::parse(r.out);
}

analysis::SongTiming Measure(const std::string& path, const analysis::TimingLimits& limits = {}) {
  std::vector<uint8_t> bytes;
  std::string error;
  EXPECT_TRUE(songtext::ReadWholeFile(path, &bytes, &error)) << error;
  auto song = std::make_unique<Song>();
  const bool loaded = LoadSong(bytes, *song) == LoadResult::kLoaded;
  return analysis::MeasureSong(loaded ? song.get() : nullptr, limits);
}

TEST(SongTiming, ASongThatEndsCountsTheTempoChange) {
  // C4 from tick 16 to 32 at N=180; tempo 200 read at tick 32 applies from
  // tick 33; D4 lasts 10 ticks; the end mark is read at tick 42.
  const SongFile song("channel 0 { C4 16 tempo 200 D4 10 end }\n" + kOthersEnd);
  const analysis::SongTiming t = Measure(song.path());
  ASSERT_EQ(t.load, LoadResult::kLoaded);
  EXPECT_FALSE(t.capped);
  EXPECT_EQ(t.ticks_run, 42u);
  ASSERT_TRUE(t.channels[0].stopped);
  EXPECT_EQ(t.channels[0].stop_tick, 42u);
  EXPECT_DOUBLE_EQ(t.Seconds(42), (32 * 77'824 + 10 * 57'344) / kClock);
  EXPECT_EQ(t.channels[5].stop_tick, 16u);
  ASSERT_EQ(t.tempo_changes.size(), 1u);
  EXPECT_EQ(t.tempo_changes[0].tick, 32u);
  EXPECT_EQ(t.tempo_changes[0].value, 200);

  const ToolResult r = RunCommand(Tool("info " + song.path()));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("playback: ends by itself after 0.901 s (42 ticks)"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("channel 0: stops at 0.901 s (tick 42)"), std::string::npos);
  EXPECT_NE(r.out.find("tempo events: channel 0, offset 29: 200"), std::string::npos) << r.out;
  const nlohmann::json j = Json(song.path());
  EXPECT_EQ(j["playback"]["result"], "ends");
  EXPECT_NEAR(j["playback"]["duration_s"].get<double>(), 0.901120, 1e-6);
  // Channels 1..8 read only their end mark: they play nothing.
  EXPECT_EQ(j["playback"]["channels"][0]["plays"], true);
  EXPECT_EQ(j["playback"]["channels"][5]["plays"], false);
  EXPECT_NE(r.out.find("channel 5: does not play"), std::string::npos) << r.out;
}

TEST(SongTiming, ALoopingSongGivesIntroAndTheLongestLoop) {
  // Channel 0: loop point passed at tick 20, jumps back at tick 36 (16 ticks).
  // Channel 1: loop point at tick 16, body 2 * (3 * 5 + 2) = 34 ticks.
  const SongFile song(
      "channel 0 { C4 4 loop_point D4 8 E4 8 end }\n"
      "channel 1 { loop_point loop 2 { loop 3 { C3 5 } r 2 } end }\n"
      "channel 2 { end } channel 3 { end } channel 4 { end } channel 5 { end }\n"
      "channel 6 { end } channel 7 { end } channel 8 { end }\n");
  const analysis::SongTiming t = Measure(song.path());
  EXPECT_TRUE(t.channels[0].looped);
  EXPECT_EQ(t.channels[0].loop_point_tick, 20u);
  EXPECT_EQ(t.channels[0].first_jump_tick, 36u);
  EXPECT_EQ(t.channels[1].loop_point_tick, 16u);
  EXPECT_EQ(t.channels[1].first_jump_tick, 50u);

  const ToolResult r = RunCommand(Tool("info " + song.path()));
  // 16 * 77,824 / 3.4e6 = 0.366 s; 34 * 77,824 / 3.4e6 = 0.778 s.
  EXPECT_NE(r.out.find("loops for ever: intro 0.366 s, loop 0.778 s (channel 1 has the longest "
                       "loop)"),
            std::string::npos)
      << r.out;
  // Channel 1: F6, F9 00 00, F9 00 00, 30 05, F8 03 00 00 00, 0F 02,
  // F8 02 00 00 00, 80: 22 bytes, 8 events, at 27 + 8 (channel 0's bytes).
  EXPECT_NE(r.out.find("      1      35     22       8  -                      1  2 (2)"),
            std::string::npos)
      << r.out;
  const nlohmann::json j = Json(song.path());
  EXPECT_EQ(j["playback"]["loop_channel"], 1);
  EXPECT_NEAR(j["playback"]["intro_s"].get<double>(), 16 * 77'824 / kClock, 1e-6);
  EXPECT_NEAR(j["playback"]["loop_s"].get<double>(), 34 * 77'824 / kClock, 1e-6);
}

TEST(SongTiming, HeldNotesAndTheRunLimit) {
  const SongFile held("channel 0 { C4 10 D4 0 }\n" + kOthersEnd);
  const analysis::SongTiming h = Measure(held.path());
  EXPECT_TRUE(h.channels[0].held);
  EXPECT_EQ(h.channels[0].held_tick, 26u);
  EXPECT_FALSE(h.capped);
  const ToolResult r = RunCommand(Tool("info " + held.path()));
  EXPECT_NE(r.out.find("never ends: channel 0 holds a note for ever from 0.595 s"),
            std::string::npos)
      << r.out;

  // 255 * 255 ticks is far beyond a 5-second limit.
  const SongFile long_song("channel 0 { loop 255 { C4 255 } end }\n" + kOthersEnd);
  analysis::TimingLimits limits;
  limits.max_seconds = 5;
  const analysis::SongTiming t = Measure(long_song.path(), limits);
  EXPECT_TRUE(t.capped);
  EXPECT_EQ(t.ticks_run, static_cast<uint64_t>(5 * kClock / 77'824));
  limits.max_seconds = 3600;
  limits.max_ticks = 100;
  EXPECT_EQ(Measure(long_song.path(), limits).ticks_run, 100u);
  const ToolResult c = RunCommand(Tool("info " + long_song.path()));
  EXPECT_NE(c.out.find("playback: ends by itself after 1488."), std::string::npos) << c.out;
}

TEST(SongInfo, InstrumentsDefinedUsedAndUndefined) {
  const SongFile song(
      "instrument 2 [00 00 00 00 00 00 00 00 00]\ninstrument 3 [00 00 00 00 00 00 00 00 00]\n"
      "channel 0 { inst 2 inst 5 C4 1 end }\nchannel 1 { inst 0 inst 9 r 1 end }\n"
      "channel 2 { end } channel 3 { end } channel 4 { end } channel 5 { end }\n"
      "channel 6 { end } channel 7 { end } channel 8 { end }\n");
  const ToolResult r = RunCommand(Tool("info " + song.path()));
  EXPECT_NE(r.out.find("instruments defined: 2 3\ninstruments used: 0 2 5 9\n"
                       "UNDEFINED instruments used (silent): 5 9\n"),
            std::string::npos)
      << r.out;
  const nlohmann::json j = Json(song.path());
  EXPECT_EQ(j["instruments"]["defined"], nlohmann::json({2, 3}));
  EXPECT_EQ(j["instruments"]["used"], nlohmann::json({0, 2, 5, 9}));
  EXPECT_EQ(j["instruments"]["undefined_used"], nlohmann::json({5, 9}));
}

TEST(SongInfo, JsonIsValidUtf8ForAnyFileName) {
  const SongFile song("channel 0 { C4 1 end }\n" + kOthersEnd);
  const std::string odd = "/tmp/opl2-info-\xFF\xFEq\"\\" + std::to_string(getpid()) + ".song";
  ASSERT_EQ(link(song.path().c_str(), odd.c_str()), 0);
  const ToolResult r = RunCommand(Tool("info --json '" + odd + "'"));
  unlink(odd.c_str());
  EXPECT_EQ(r.status, 0) << r.err;
  const nlohmann::json j = nlohmann::json::parse(r.out);  // throws on invalid UTF-8
  EXPECT_EQ(j["file"],
            "/tmp/opl2-info-\xEF\xBF\xBD\xEF\xBF\xBDq\"\\" + std::to_string(getpid()) + ".song");
}

TEST(SongInfo, FilesThatAreNotSongsAreRefused) {
  const SongFile empty("layout raw size 0");
  const SongFile other("layout raw data at 0 [03 00 00]");
  for (const char* json : {"", "--json "}) {
    ToolResult r = RunCommand(Tool(std::string("info ") + json + empty.path()));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "opl2tool info: '" + empty.path() + "' is not a song: the file is empty\n");
    r = RunCommand(Tool(std::string("info ") + json + other.path()));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "opl2tool info: '" + other.path() +
                         "' is not a song: its first byte is 0x03, not 0x02\n");
  }
  const ToolResult r = RunCommand(Tool("info /nonexistent/song"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "opl2tool info: cannot read '/nonexistent/song': No such file or directory\n");
}

}  // namespace
}  // namespace opl2::test
