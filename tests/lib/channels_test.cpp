// Muting at the output stage, the channel views, and the length of songs
// against expectations worked out from the tick and bus timing by hand.
#include <cmath>

#include "engine/harness.h"
#include "lib_support.h"

namespace opl2::test {
namespace {

constexpr uint64_t kTick180 = 77'824;  // OPM cycles of one tick at Timer B 180
const Patch kPatch1 = {1, {0x01, 0x01, 0x10, 0x00, 0xF0, 0xF0, 0x77, 0x77, 0x00}};

// The sample before which a write made `index` writes into tick `tick` lands
// (the bus time line: tick start clock plus 104 clocks a write).
uint64_t WriteSample(uint64_t tick, uint64_t index) {
  return (tick * kTick180 * 3'579'545 / 3'400'000 + index * 104) / 72 + 1;
}

// Channel 0: instrument 1, volume 100, then C4 (block 4, F-number 0x159)
// held for 64 ticks; the other channels stop at once.
Bytes OneNote() {
  return SongWithTrack0({0xFF, 0x01, 0xFD, 0x64, 0x40, 0x40, 0x0F, 0x10, 0x80}, {kPatch1});
}

TEST(Mute, LeavesAChannelOutAtTheOutputStageAndNothingElse) {
  const opl2_settings s = Settings(0);
  const std::vector<int16_t> plain = ReadRest(Open(OneNote(), s).get());
  size_t sounding = 0;
  for (int16_t v : plain) sounding += v != 0;
  ASSERT_GT(sounding, 10'000u);

  SongPtr other = Open(OneNote(), s);
  opl2_mute_channel(other.get(), 3, 1);
  opl2_mute_channel(other.get(), 9, 1);  // no such channel: ignored
  EXPECT_TRUE(ReadRest(other.get()) == plain);

  SongPtr muted = Open(OneNote(), s);
  opl2_mute_channel(muted.get(), 0, 1);
  std::vector<int16_t> first(plain.size() / 2);
  ASSERT_EQ(opl2_read_s16(muted.get(), first.data(), first.size()), first.size());
  for (int16_t v : first) ASSERT_EQ(v, 0);
  // Unmuted, the channel comes back exactly as it would have sounded.
  opl2_mute_channel(muted.get(), 0, 0);
  const std::vector<int16_t> rest = ReadRest(muted.get());
  EXPECT_TRUE(
      std::equal(rest.begin(), rest.end(), plain.begin() + static_cast<long>(first.size())));
}

TEST(ChannelViews, ShowTheNoteTheInstrumentTheVolumeAndTheLevel) {
  SongPtr song = Open(OneNote(), Settings(0));
  opl2_set_meters(song.get(), 1);
  // Tick 16 writes: key off, the patch (9 writes), the volume, key off,
  // A0, B0, and B0 again with the key on: write 14, heard from this sample.
  const uint64_t key_on = WriteSample(16, 14);
  std::vector<int16_t> buf(key_on);
  ASSERT_EQ(opl2_read_s16(song.get(), buf.data(), key_on), key_on);
  opl2_channel_view v[OPL2_CHANNELS];
  opl2_channel_views(song.get(), v);
  EXPECT_EQ(v[0].key_on, 0);
  ASSERT_EQ(opl2_read_s16(song.get(), buf.data(), 1), 1u);
  opl2_channel_views(song.get(), v);
  EXPECT_EQ(v[0].key_on, 1);
  EXPECT_EQ(v[0].block, 4);
  EXPECT_EQ(v[0].fnum, 0x159);
  EXPECT_NEAR(v[0].frequency, 261.7, 0.05);
  EXPECT_EQ(v[0].instrument, 1);
  EXPECT_EQ(v[0].volume, 100);
  EXPECT_EQ(v[1].key_on, 0);

  ASSERT_EQ(opl2_read_s16(song.get(), buf.data(), 2000), 2000u);
  int16_t peak = 0;
  for (size_t i = 0; i < 2000; ++i) peak = std::max<int16_t>(peak, std::abs(buf[i]));
  opl2_channel_views(song.get(), v);
  EXPECT_GT(v[0].level, 0);
  EXPECT_GE(v[0].level, peak * 9 / 10);  // the DAC only drops low bits
  EXPECT_LE(v[0].level, peak + 64);
  EXPECT_EQ(v[1].level, 0);
  opl2_mute_channel(song.get(), 0, 1);
  ASSERT_EQ(opl2_read_s16(song.get(), buf.data(), 2000), 2000u);
  opl2_channel_views(song.get(), v);
  EXPECT_EQ(v[0].muted, 1);
  EXPECT_EQ(v[0].level, 0);
}

TEST(Duration, OfALoopingSongIsItsLoopsThenTheFade) {
  // Loop point, C4 for 16 ticks, end: rows at ticks 16, 32, 48; the second
  // jump back, at tick 48, finishes two loops and starts the fade there.
  const Bytes song = SongWithTrack0({0xF6, 0x40, 0x10, 0x80});
  const double rate = OPL2_NATIVE_RATE;
  SongPtr two = Open(song, Settings(0, 2, 3));
  const uint64_t fade = static_cast<uint64_t>(std::llround(3 * rate));
  const uint64_t expected = WriteSample(48, 0) + fade;
  EXPECT_EQ(opl2_duration(two.get()), expected / rate);
  EXPECT_EQ(ReadRest(two.get()).size(), expected);

  SongPtr capped = Open(song, Settings(0, -1, 3, 2.5));
  EXPECT_EQ(opl2_duration(capped.get()), std::llround(2.5 * rate) / rate);
  SongPtr endless = Open(song, Settings(0, -1, 3, 0));
  EXPECT_EQ(opl2_duration(endless.get()), INFINITY);
  EXPECT_EQ(opl2_seek(endless.get(), 30.0), 0);

  // At 48 kHz: the same time, in whole samples of that rate.
  SongPtr converted = Open(song, Settings(48'000, 2, 3));
  const double frames = std::nearbyint(expected / rate * 48'000);
  EXPECT_EQ(opl2_duration(converted.get()), frames / 48'000);
  std::vector<float> all(static_cast<size_t>(frames) + 100);
  EXPECT_EQ(opl2_read_f32(converted.get(), all.data(), all.size()), frames);
}

}  // namespace
}  // namespace opl2::test
