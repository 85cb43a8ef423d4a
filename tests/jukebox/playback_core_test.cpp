// The audio thread's side, driven buffer by buffer as a device would: every
// sample it hands out is held against the library's own read of the song,
// with the pause fade and the volume worked out by hand.
#include "jukebox/playback_core.h"

#include "jukebox_support.h"

namespace opl2::test {
namespace {

using jukebox::Handover;
using jukebox::PlaybackCore;
using jukebox::PlaybackState;

constexpr int kBuffer = 512;
constexpr int kRamp = PlaybackCore::kRampSamples;

class CoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bytes_ = ReadBytes(ExampleSong("demo"));
    settings_ = Settings(0, 2, 8);
  }
  void TearDown() override {
    core_.Release();
    Handover h;
    while (core_.TakeBack(&h)) {
    }
    for (opl2_song* s : opened_) opl2_close(s);
  }
  void HandAt(uint64_t sample, uint32_t seek_id = 0) {
    opl2_song* s = opl2_open(bytes_.data(), bytes_.size(), &settings_, nullptr, 0);
    ASSERT_NE(s, nullptr);
    opened_.push_back(s);
    ASSERT_EQ(opl2_seek(s, static_cast<double>(sample) / OPL2_NATIVE_RATE), 0);
    ASSERT_TRUE(core_.Hand({s, 1, seek_id, false}));
  }
  std::vector<int16_t> Pull(int buffers) {
    std::vector<int16_t> out(static_cast<size_t>(buffers) * kBuffer);
    for (int b = 0; b < buffers; ++b) core_.Produce(out.data() + b * kBuffer, kBuffer);
    return out;
  }
  PlaybackState State() {
    PlaybackState s;
    core_.Read(&s);
    return s;
  }

  Bytes bytes_;
  opl2_settings settings_{};
  PlaybackCore core_;
  std::vector<opl2_song*> opened_;
};

TEST_F(CoreTest, PlaysTheSongAsTheLibraryReadsItAndNothingBeforeAStreamComes) {
  EXPECT_EQ(Pull(2), std::vector<int16_t>(2 * kBuffer, 0));
  HandAt(0);
  const std::vector<int16_t> played = Pull(200);
  EXPECT_EQ(played, LibraryRead(bytes_, settings_, 0, played.size()));
  EXPECT_EQ(State().position, played.size());
}

TEST_F(CoreTest, PauseFadesOutStopsTheClockAndResumesWhereTheSoundStopped) {
  HandAt(0);
  Pull(100);
  const uint64_t at = 100 * kBuffer;
  core_.SetPaused(true);
  const std::vector<int16_t> pausing = Pull(4);
  EXPECT_EQ(State().position, at + kRamp);  // the fade's samples only
  EXPECT_TRUE(State().paused);
  const std::vector<int16_t> song = LibraryRead(bytes_, settings_, at, 3 * kRamp);
  for (int i = 0; i < kRamp; ++i) {
    // Gain (255 - i) / 256 on the i-th sample of the fade.
    ASSERT_EQ(pausing[i], song[i] * (kRamp - 1 - i) / kRamp) << i;
  }
  for (size_t i = kRamp; i < pausing.size(); ++i) ASSERT_EQ(pausing[i], 0) << i;
  EXPECT_TRUE(std::any_of(song.begin(), song.begin() + kRamp, [](int16_t s) { return s != 0; }));

  Pull(10);  // a long pause: nothing read
  EXPECT_EQ(State().position, at + kRamp);
  core_.SetPaused(false);
  const std::vector<int16_t> resumed = Pull(1);
  for (int i = 0; i < kBuffer; ++i) {
    const int gain = std::min(i + 1, kRamp);
    ASSERT_EQ(resumed[i], song[kRamp + i] * gain / kRamp) << i;
  }
  EXPECT_FALSE(State().paused);
}

TEST_F(CoreTest, MutingLeavesOutExactlyThatChannelFromTheNextBuffer) {
  HandAt(Samples(4));
  Pull(50);
  const uint64_t at = Samples(4) + 50 * kBuffer;
  core_.SetMuted(1u << 3);
  const std::vector<int16_t> muted = Pull(100);
  EXPECT_EQ(muted, LibraryRead(bytes_, settings_, at, muted.size(), 1u << 3));
  EXPECT_NE(muted, LibraryRead(bytes_, settings_, at, muted.size()));  // channel 3 sounds here
  EXPECT_EQ(State().muted, 1u << 3);
  EXPECT_EQ(State().channels[3].muted, 1);

  // A stream handed over later gets the same channels left out.
  HandAt(Samples(20));
  const std::vector<int16_t> after = Pull(50);
  EXPECT_EQ(after, LibraryRead(bytes_, settings_, Samples(20), after.size(), 1u << 3));
  core_.SetMuted(0);
  const std::vector<int16_t> back = Pull(50);
  EXPECT_EQ(back, LibraryRead(bytes_, settings_, Samples(20) + 50 * kBuffer, back.size()));
}

TEST_F(CoreTest, AHandedOverStreamPlaysFromItsPositionAndTheOldOneComesBack) {
  HandAt(0);
  Pull(20);
  HandAt(Samples(30), 7);
  const std::vector<int16_t> played = Pull(40);
  EXPECT_EQ(played, LibraryRead(bytes_, settings_, Samples(30), played.size()));
  const PlaybackState s = State();
  EXPECT_EQ(s.seek_id, 7u);
  EXPECT_EQ(s.position, Samples(30) + played.size());
  Handover back;
  ASSERT_TRUE(core_.TakeBack(&back));
  EXPECT_EQ(back.stream, opened_[0]);
  EXPECT_EQ(opl2_position(back.stream), 20.0 * kBuffer / OPL2_NATIVE_RATE);
  EXPECT_FALSE(core_.TakeBack(&back));
}

TEST_F(CoreTest, KeepingThePositionAlignsTheNewStreamWithTheOld) {
  HandAt(0);
  Pull(33);
  opl2_song* other = opl2_open(bytes_.data(), bytes_.size(), &settings_, nullptr, 0);
  opened_.push_back(other);
  ASSERT_TRUE(core_.Hand({other, 1, 0, true}));  // at 0, to be moved up
  const std::vector<int16_t> played = Pull(10);
  EXPECT_EQ(played, LibraryRead(bytes_, settings_, 33 * kBuffer, played.size()));
}

TEST_F(CoreTest, VolumeScalesAndSaturatesAndTheEndIsReported) {
  HandAt(Samples(10));
  core_.SetVolume(-6);  // 10^(-6/20) = 0.50119, 32846 / 65536
  const std::vector<int16_t> quiet = Pull(20);
  const std::vector<int16_t> song = LibraryRead(bytes_, settings_, Samples(10), quiet.size());
  for (size_t i = 0; i < song.size(); ++i) {
    ASSERT_EQ(quiet[i], static_cast<int16_t>((int64_t{song[i]} * 32846) >> 16)) << i;
  }
  core_.SetVolume(12);  // x3.98: the loud parts clip
  const std::vector<int16_t> loud = Pull(200);
  EXPECT_TRUE(std::count(loud.begin(), loud.end(), int16_t{32767}) > 0);

  const double end = opl2_duration(opened_[0]);
  HandAt(Samples(end) - 1000);
  const std::vector<int16_t> last = Pull(3);
  EXPECT_TRUE(State().ended);
  EXPECT_TRUE(std::all_of(last.begin() + 1000, last.end(), [](int16_t s) { return s == 0; }));
}

}  // namespace
}  // namespace opl2::test
