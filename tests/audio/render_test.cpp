// The chip's time line, the renderer's length rules and the audio files.
#include <gtest/gtest.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/wait.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "bus/bus_timeline.h"
#include "engine/harness.h"
#include "output/audio_file_writer.h"
#include "render/song_renderer.h"
#include "tools/run_tool.h"

namespace opl2::test {
namespace {

namespace fs = std::filesystem;

TEST(BusTimeline, WritesTake104ClocksAndLongTicksRunOn) {
  BusTimeline t;
  t.BeginTick(0);
  EXPECT_EQ(t.NextWriteClock(), 0u);
  EXPECT_EQ(t.NextWriteClock(), 104u);
  EXPECT_EQ(BusTimeline::SampleOfWrite(0), 1u);
  EXPECT_EQ(BusTimeline::SampleOfWrite(71), 1u);
  EXPECT_EQ(BusTimeline::SampleOfWrite(72), 2u);
  EXPECT_EQ(BusTimeline::SampleOfWrite(104), 2u);

  // 1024 * 76 OPM cycles (one tick at 180) = 81,933.7 master clocks.
  EXPECT_EQ(TickStartClock(77'824), 81'933u);
  EXPECT_EQ(TickStartClock(3'400'000), 3'579'545u);
  t.BeginTick(77'824);
  EXPECT_EQ(t.NextWriteClock(), 81'933u);

  // A tick that starts before the previous one's writes are done follows them.
  BusTimeline busy;
  for (int i = 0; i < 1000; ++i) busy.NextWriteClock();  // 104,000 clocks of writes
  busy.BeginTick(77'824);
  EXPECT_EQ(busy.NextWriteClock(), 104'000u);
}

std::vector<int16_t> RenderAll(const char* path, const RenderOptions& options) {
  SongRenderer r(options);
  const FileSong song(path);
  EXPECT_NE(song.result, LoadResult::kCannotOpen);
  r.Start(song.get());
  std::vector<int16_t> out;
  int16_t block[4096];
  for (size_t n; (n = r.Render(block, 4096)) > 0;) out.insert(out.end(), block, block + n);
  return out;
}

double Seconds(size_t samples) {
  return static_cast<double>(samples) / kChipSampleRate;
}

TEST(SongRenderer, ASongThatStopsEndsHalfASecondAfterSilence) {
  TempFile song(SongWithTrack0({0xFF, 0x01, 0x40, 0x10, 0x80},
                               {{1, {0x01, 0x01, 0x10, 0x00, 0xF0, 0xF0, 0x77, 0x77, 0}}}));
  const std::vector<int16_t> s = RenderAll(song.path(), {});
  // Keyed on at tick 16, off at tick 32 (32 * 22.89 ms), release, then 0.5 s.
  size_t first = 0;
  while (first < s.size() && s[first] == 0) ++first;
  size_t last = s.size();
  while (last > 0 && s[last - 1] == 0) --last;
  EXPECT_NEAR(Seconds(first), 16 * 77'824 / 3.4e6, 0.002);
  EXPECT_GT(Seconds(last), 32 * 77'824 / 3.4e6);
  EXPECT_NEAR(Seconds(s.size() - last), 0.5, 0.01);
}

TEST(SongRenderer, TheFirstNoteStartsAtItsTicksWriteSample) {
  TempFile song(SongWithTrack0({0x40, 0x10, 0x80}));
  const std::vector<int16_t> s = RenderAll(song.path(), {});
  // Tick 16 starts at master clock floor(16 * 77,824 * 3,579,545 / 3.4e6);
  // its fourth write (the key-on) is applied before sample clock/72 + 1.
  const uint64_t key_on = BusTimeline::SampleOfWrite(TickStartClock(16 * 77'824) + 3 * 104);
  size_t first = 0;
  while (first < s.size() && s[first] == 0) ++first;
  EXPECT_GE(first, key_on);
  EXPECT_LE(first, key_on + 4);  // the chip's pipeline and the attack's first steps
}

TEST(SongRenderer, LoopingSongsFadeAfterTheirLoops) {
  TempFile song(SongWithTrack0({0x40, 0x08, 0xF6, 0x44, 0x10, 0x80}));
  RenderOptions o;
  o.loops = 3;
  o.fade_seconds = 1;
  const std::vector<int16_t> s = RenderAll(song.path(), o);
  // Intro 16 + 8 ticks, then each pass of the loop 16 ticks; the third jump
  // back happens when the third pass ends; then one second of fade.
  const double tick = 77'824 / 3.4e6;
  EXPECT_NEAR(Seconds(s.size()), (16 + 8 + 3 * 16) * tick + 1.0, 0.001);
  // The fade ends in silence.
  for (size_t i = s.size() - 50; i < s.size(); ++i) EXPECT_LE(std::abs(s[i]), 1000);
}

TEST(SongRenderer, SecondsCapEveryRender) {
  TempFile song(SongWithTrack0({0x40, 0x00}));  // holds its note for ever
  RenderOptions o;
  o.max_seconds = 2.5;
  EXPECT_EQ(RenderAll(song.path(), o).size(), static_cast<size_t>(2.5 * kChipSampleRate + 0.5));
}

TEST(SongRenderer, TicksWhoseWritesRunOnKeepTheQueueShort) {
  // Timer value 255 and a slide on every channel: 72 writes a tick take
  // about seven periods of bus time, so the writes fall ever further behind.
  std::array<Bytes, kChannelCount> tracks;
  for (int c = 0; c < kChannelCount; ++c) {
    tracks[c] = {0xFC, 0xFF, 0xF6, 0xDA, 0x10, 0x70, 0xFF, 0xDA, 0x70, 0x10, 0xFF, 0x80};
  }
  TempFile song(BuildSong(tracks));
  RenderOptions o;
  o.max_seconds = 20;
  o.loops = 1000;
  SongRenderer r(o);
  const FileSong loaded(song.path());
  ASSERT_EQ(r.Start(loaded.get()), LoadResult::kLoaded);
  int16_t block[4096];
  size_t most_queued = 0;
  while (r.Render(block, 4096) > 0) most_queued = std::max(most_queued, r.queued_writes());
  EXPECT_EQ(r.samples_rendered(), static_cast<uint64_t>(20 * kChipSampleRate + 0.5));
  EXPECT_LE(most_queued, 100u);
}

TEST(SongRenderer, SameSongSameSamples) {
  TempFile song(SongWithTrack0({0xDA, 0x30, 0x52, 0x20, 0xFB, 0x44, 0x08, 0x0F, 0x04, 0x80}));
  EXPECT_EQ(RenderAll(song.path(), {}), RenderAll(song.path(), {}));
}

struct AudioInfo {
  int rate = 0;
  sf_count_t frames = 0;
  int format = 0;
};

AudioInfo ReadInfo(const std::string& path) {
  SF_INFO info{};
  SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
  AudioInfo a;
  if (f == nullptr) return a;
  a = {info.samplerate, info.frames, info.format};
  sf_close(f);
  return a;
}

class RenderCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("opl2-render-" + std::to_string(getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Out(const char* name) const { return (dir_ / name).string(); }
  fs::path dir_;
};

TEST_F(RenderCommand, WavAt48kHzIsByteIdenticalAcrossRuns) {
  TempFile song(SongWithTrack0({0xDA, 0x30, 0x52, 0x20, 0xFB, 0x44, 0x08, 0x0F, 0x04, 0x80}));
  const std::string a = Out("a.wav"), b = Out("b.wav");
  ASSERT_EQ(RunCommand(Tool("render " + std::string(song.path()) + " -o " + a)).status, 0);
  ASSERT_EQ(RunCommand(Tool("render " + std::string(song.path()) + " -o " + b)).status, 0);
  EXPECT_EQ(ReadWholeFile(a), ReadWholeFile(b));
  const AudioInfo info = ReadInfo(a);
  EXPECT_EQ(info.rate, 48'000);
  EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
  const std::vector<int16_t> native = RenderAll(song.path(), {});
  EXPECT_NEAR(static_cast<double>(info.frames), native.size() * 48'000.0 / kChipSampleRate, 2);
  // No temporary file is left beside it.
  int files = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir_)) ++files;
  EXPECT_EQ(files, 2);
}

TEST_F(RenderCommand, NativeRateAndFlac) {
  TempFile song(SongWithTrack0({0x40, 0x10, 0x80}));
  const std::string wav = Out("n.wav"), flac = Out("n.FLAC");
  ASSERT_EQ(RunCommand(Tool("render " + std::string(song.path()) + " -o " + wav + " --rate native"))
                .status,
            0);
  const AudioInfo w = ReadInfo(wav);
  EXPECT_EQ(w.rate, 49'716);
  EXPECT_EQ(static_cast<size_t>(w.frames), RenderAll(song.path(), {}).size());
  ASSERT_EQ(RunCommand(Tool("render " + std::string(song.path()) + " -o " + flac)).status, 0);
  EXPECT_EQ(ReadInfo(flac).format, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
}

TEST_F(RenderCommand, ErrorsLeaveNoFile) {
  TempFile song(SongWithTrack0({0x40, 0x10, 0x80}));
  const std::string s = song.path();
  EXPECT_EQ(RunCommand(Tool("render " + s + " -o " + Out("x.mp3"))).status, 1);
  EXPECT_EQ(RunCommand(Tool("render " + s + " -o " + Out("no/such/dir.wav"))).status, 1);
  const ToolResult missing = RunCommand(Tool("render /nonexistent.song -o " + Out("m.wav")));
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err,
            "opl2tool render: cannot read '/nonexistent.song': No such file or directory\n");
  EXPECT_EQ(RunCommand(Tool("render " + s + " -o " + Out("r.wav") + " --rate 12x")).status, 2);
  EXPECT_EQ(RunCommand(Tool("render " + s)).status, 2);
  EXPECT_TRUE(fs::is_empty(dir_));
}

TEST_F(RenderCommand, InterruptLeavesNoPartialFile) {
  TempFile song(SongWithTrack0({0x40, 0x00}));  // never ends: capped at 3600 s
  const std::string out = Out("long.wav");
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const std::string tool = std::string(OPL2_BIN_DIR) + "/opl2tool";
    execl(tool.c_str(), tool.c_str(), "render", song.path(), "-o", out.c_str(), "--seconds", "3600",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  // Wait until the temporary file exists, then interrupt.
  for (int i = 0; i < 200 && fs::is_empty(dir_); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  kill(pid, SIGINT);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130);
  EXPECT_TRUE(fs::is_empty(dir_));
}

}  // namespace
}  // namespace opl2::test

namespace opl2::test {
namespace {

// A render that the cap cuts fades out over the last `fade_seconds` before
// it (at most half the render): sample i of the last L keeps (N - i) / L of
// itself. A song that ends before the cap is not touched.
TEST(SongRenderer, ACutFadesOutBeforeTheCapAndOnlyACut) {
  TempFile held(SongWithTrack0({0x40, 0x00}));  // holds its note for ever
  RenderOptions plain;
  plain.max_seconds = 2;
  plain.fade_seconds = 0;
  const std::vector<int16_t> a = RenderAll(held.path(), plain);
  for (const double fade : {0.5, 8.0}) {
    RenderOptions o = plain;
    o.fade_seconds = fade;
    const std::vector<int16_t> b = RenderAll(held.path(), o);
    ASSERT_EQ(a.size(), b.size());
    const int64_t n = static_cast<int64_t>(a.size());
    const int64_t length = fade < 1 ? std::llround(0.5 * kChipSampleRate) : n / 2;
    for (int64_t i = 0; i < n; ++i) {
      const int64_t expected = i < n - length ? a[i] : a[i] * (n - i) / length;
      ASSERT_EQ(b[i], expected) << "fade " << fade << ", sample " << i;
    }
    EXPECT_NE(a[n - 2], 0);  // there was sound to fade
  }
  TempFile stops(SongWithTrack0({0x40, 0x10, 0x80}));
  RenderOptions o = plain;
  o.max_seconds = 600;
  const std::vector<int16_t> natural = RenderAll(stops.path(), o);
  o.fade_seconds = 8;
  EXPECT_EQ(RenderAll(stops.path(), o), natural);
}

// A RIFF header counts the file's bytes after its first 8 in 32 bits: a file
// of 8 + 0xFFFFFFFF bytes is the largest. 16-bit mono takes 2 bytes a frame,
// and the writer keeps 4,096 bytes for its header chunks: 2,147,481,603
// frames fit, one more does not, and tags take their room too.
TEST(AudioFile, WavFilesThatCouldPass4GiBAreWrittenAsRf64) {
  EXPECT_FALSE(NeedsRf64(2'147'481'603, 0));
  EXPECT_TRUE(NeedsRf64(2'147'481'604, 0));
  EXPECT_TRUE(NeedsRf64(2'147'481'603, 2));
  EXPECT_FALSE(NeedsRf64(600 * 48'000, 100));
  EXPECT_TRUE(NeedsRf64(UINT64_MAX / 2, 0));
}

TEST_F(RenderCommand, ALongCapGivesAReadableFileAndTagsAreWritten) {
  TempFile song(SongWithTrack0({0x40, 0x10, 0x80}));
  // 86,400 s at 384 kHz could reach 66 GB: RF64, which the short song
  // brings back to a plain WAV header.
  const std::string big = Out("big.wav");
  ASSERT_EQ(RunCommand(Tool("render " + std::string(song.path()) + " -o " + big +
                            " --seconds 86400 --rate native --title 'A T\xC3\xADtle'"))
                .status,
            0);
  const AudioInfo info = ReadInfo(big);
  EXPECT_EQ(static_cast<size_t>(info.frames), RenderAll(song.path(), {}).size());
  EXPECT_EQ(ReadWholeFile(big).substr(0, 4), "RIFF");

  const std::string tagged = Out("my song.flac");
  fs::copy_file(song.path(), Out("My Tune.song"));
  ASSERT_EQ(RunCommand(Tool("render '" + Out("My Tune.song") + "' -o '" + tagged +
                            "' --artist 'Some One'"))
                .status,
            0);
  for (const std::string& path : {big, tagged}) {
    SF_INFO i{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &i);
    ASSERT_NE(f, nullptr) << path;
    const char* title = sf_get_string(f, SF_STR_TITLE);
    const char* artist = sf_get_string(f, SF_STR_ARTIST);
    EXPECT_STREQ(title, path == big ? "A T\xC3\xADtle" : "My Tune");
    if (path == tagged) {
      EXPECT_STREQ(artist, "Some One");
    }
    sf_close(f);
  }
}

}  // namespace
}  // namespace opl2::test
