// Seeking: after opl2_seek(t) the position is t and the samples are those
// of an uninterrupted read from the start, forward and backward.
#include <cmath>
#include <filesystem>
#include <random>

#include "lib_support.h"
#include "songtext/random_songs.h"
#include "tools/run_tool.h"

namespace opl2::test {
namespace {

Bytes Example(const char* name) {
  const std::string s = ReadWholeFile(std::string(OPL2_BIN_DIR) + "/../examples/" + name);
  return Bytes(s.begin(), s.end());
}

// Random seeks on `song` checked against `full`, its uninterrupted read.
void SeekAbout(opl2_song* song, const std::vector<int16_t>& full, uint32_t seed) {
  std::mt19937 rng(seed);
  const double rate = opl2_sample_rate(song);
  for (int i = 0; i < 40; ++i) {
    const size_t at = std::uniform_int_distribution<size_t>(0, full.size())(rng);
    const size_t length = std::uniform_int_distribution<size_t>(1, 30'000)(rng);
    ASSERT_EQ(opl2_seek(song, at / rate), 0) << at;
    EXPECT_EQ(opl2_position(song), at / rate);
    std::vector<int16_t> got(length);
    got.resize(opl2_read_s16(song, got.data(), length));
    const size_t expected = std::min(length, full.size() - at);
    ASSERT_EQ(got.size(), expected) << at;
    ASSERT_TRUE(std::equal(got.begin(), got.end(), full.begin() + static_cast<long>(at)))
        << "seek " << i << " to sample " << at;
  }
}

TEST(Seek, ForwardAndBackwardGivesTheUninterruptedRead) {
  RandomSongs gen(77);
  const Bytes songs[] = {Example("demo.song"), gen.CompactSong(), gen.ScrambledSong()};
  for (size_t i = 0; i < std::size(songs); ++i) {
    const opl2_settings s = Settings(0, 1, 3, 90);
    const std::vector<int16_t> full = ReadRest(Open(songs[i], s).get());
    // A fresh song: its first seeks go into time not rendered yet.
    SongPtr song = Open(songs[i], s);
    SeekAbout(song.get(), full, static_cast<uint32_t>(i));
  }
}

TEST(Seek, PastTheEndOrToNoTimeIsRefusedAndChangesNothing) {
  const opl2_settings s = Settings(0, 1, 1, 20);
  SongPtr song = Open(Example("minuet.song"), s);
  const double end = opl2_duration(song.get());
  ASSERT_GT(end, 1.0);
  ASSERT_EQ(opl2_seek(song.get(), 1.0), 0);
  for (double t : {end + 1.0 / OPL2_NATIVE_RATE, -0.5, double{NAN}, double{INFINITY}}) {
    EXPECT_EQ(opl2_seek(song.get(), t), -1) << t;
    EXPECT_EQ(opl2_position(song.get()), std::nearbyint(OPL2_NATIVE_RATE) / OPL2_NATIVE_RATE);
  }
  EXPECT_EQ(opl2_seek(song.get(), end), 0);
  int16_t sample;
  EXPECT_EQ(opl2_read_s16(song.get(), &sample, 1), 0u);
}

// At other rates the converter restarts before the target: the samples then
// differ from an uninterrupted read by no more than its rounding.
TEST(Seek, AtOtherRatesMatchesTheUninterruptedReadWithinTheConvertersRounding) {
  for (int rate : {48'000, 44'100, 22'050, 96'000}) {
    const opl2_settings s = Settings(rate, 1, 2, 60);
    SongPtr whole = Open(Example("demo.song"), s);
    std::vector<float> full(static_cast<size_t>(std::llround(opl2_duration(whole.get()) * rate)));
    ASSERT_EQ(opl2_read_f32(whole.get(), full.data(), full.size()), full.size());
    SongPtr song = Open(Example("demo.song"), s);
    std::mt19937 rng(rate);
    float worst = 0;
    for (int i = 0; i < 12; ++i) {
      const size_t at = std::uniform_int_distribution<size_t>(0, full.size() - 20'000)(rng);
      ASSERT_EQ(opl2_seek(song.get(), static_cast<double>(at) / rate), 0);
      std::vector<float> got(20'000);
      ASSERT_EQ(opl2_read_f32(song.get(), got.data(), got.size()), got.size());
      for (size_t k = 0; k < got.size(); ++k)
        worst = std::max(worst, std::abs(got[k] - full[at + k]));
    }
    EXPECT_LT(worst, 2.0f / 32768) << rate;  // under two steps of the 16-bit output
    std::printf("rate %d: largest difference after a seek %.3g (1/32768 = %.3g)\n", rate, worst,
                1.0 / 32768);
  }
}

}  // namespace
}  // namespace opl2::test
