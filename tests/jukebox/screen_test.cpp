// The screen: names of notes and clocks worked out by hand, the layout at
// the smallest size, and the terminal output that rewrites only changed rows.
#include <gtest/gtest.h>

#include <string>

#include "jukebox/play_keys.h"
#include "jukebox/screen_view.h"

namespace opl2::jukebox {
namespace {

std::string Note(int block, int fnum) {
  char out[8];
  FormatNote(block, fnum, out, sizeof out);
  return out;
}

std::string Clock(uint64_t samples) {
  char out[16];
  FormatClock(samples, out, sizeof out);
  return out;
}

TEST(ScreenText, NotesClocksAndMeters) {
  // f = fnum * 49716 / 2^(20 - block): 580 in block 4 is 440.0 Hz.
  EXPECT_EQ(Note(4, 580), "A4");
  EXPECT_EQ(Note(7, 580), "A7");
  EXPECT_EQ(Note(0, 580), "A0");
  EXPECT_EQ(Note(4, 345), "C4");   // 261.6 Hz
  EXPECT_EQ(Note(4, 365), "C#4");  // 276.8 Hz, nearer C#4 (277.2) than C4
  EXPECT_EQ(Note(3, 0), "---");

  EXPECT_EQ(Clock(0), "0:00");
  EXPECT_EQ(Clock(83 * 49'716 + 49'715), "1:23");
  EXPECT_EQ(Clock(3600ull * 49'716), "60:00");

  EXPECT_EQ(MeterCells(32'767, 40), 40);
  EXPECT_EQ(MeterCells(2'063, 40), 20);  // -24 dB: half of the 48 dB shown
  EXPECT_EQ(MeterCells(1, 40), 0);       // -90 dB
  EXPECT_EQ(MeterCells(0, 40), 0);
}

TEST(ScreenLayout, ShowsEverythingAtTheSmallestSizeWithinItsWidth) {
  ScreenModel m;
  m.file = "songs/castle.song";
  m.index = 2;
  m.count = 3;
  m.position = 83 * 49'716;
  m.length = 225 * 49'716;
  m.length_exact = true;
  m.pass = 2;
  m.passes = 3;
  m.paused = true;
  m.volume_db = -3;
  m.loops = 2;
  m.channels[0] = {true, 4, 580, 12, 100, 32'767, false, false};
  m.channels[3].muted = true;
  m.channels[5].solo = true;
  Frame f;
  DrawScreen(m, 12, 60, &f);
  ASSERT_EQ(f.rows(), 12);
  for (int r = 0; r < 12; ++r) EXPECT_LE(f.Row(r).size(), 59u) << r;
  const std::string title(f.Row(0)), progress(f.Row(1));
  EXPECT_EQ(title.rfind(" 2/3  songs/castle.song", 0), 0u) << title;
  EXPECT_NE(title.find("vol -3 dB  loops 2"), std::string::npos) << title;
  EXPECT_EQ(progress.rfind(" 1:23 / 3:45  [", 0), 0u) << progress;
  EXPECT_NE(progress.find("pass 2/3"), std::string::npos) << progress;
  EXPECT_NE(progress.find("PAUSED"), std::string::npos) << progress;
  EXPECT_EQ(std::string(f.Row(3)).rfind(" 0  A4   i12  v100 [||||", 0), 0u) << f.Row(3);
  EXPECT_NE(f.Row(6).find("MUTE"), std::string::npos);
  EXPECT_NE(f.Row(8).find("SOLO"), std::string::npos);
  EXPECT_EQ(f.Row(4).find("MUTE"), std::string::npos);

  DrawScreen(m, 11, 80, &f);
  EXPECT_EQ(f.Row(0), "opl2tool play needs 60x12 (now 80x11); q quits");
}

TEST(ScreenOutput, RewritesOnlyTheRowsThatChanged) {
  Frame a, b;
  a.Reset(4, 20);
  b.Reset(4, 20);
  for (int r = 0; r < 4; ++r) {
    a.Put(r, 0, "row");
    b.Put(r, 0, "row");
  }
  b.Put(2, 4, "x");
  char out[256];
  const size_t n = FrameUpdate(&a, b, out, sizeof out);
  EXPECT_EQ(std::string(out, n), "\x1b[3;1Hrow x\x1b[K");
  EXPECT_EQ(FrameUpdate(&b, b, out, sizeof out), 0u);
  const size_t all = FrameUpdate(nullptr, b, out, sizeof out);
  EXPECT_EQ(std::string(out, all),
            "\x1b[1;1Hrow\x1b[K\x1b[2;1Hrow\x1b[K\x1b[3;1Hrow x\x1b[K\x1b[4;1Hrow\x1b[K");
  // Names are cut at the width, a UTF-8 character whole, control bytes shown as '?'.
  Frame c;
  c.Reset(1, 6);
  c.Put(0, 0, "ab\tc\xc3\xa9\xc3\xa9xyz");
  EXPECT_EQ(c.Row(0), "ab?c\xc3\xa9\xc3\xa9");
}

TEST(Keys, PlainKeysAndTheSoloPrefix) {
  KeyMap keys;
  auto is = [&](int32_t code, Command command, int value = 0) {
    const KeyCommand k = keys.Map(code);
    return k.command == command && k.value == value;
  };
  EXPECT_TRUE(is(' ', Command::kPause));
  EXPECT_TRUE(is(-77, Command::kSeek, 5));
  EXPECT_TRUE(is(-80, Command::kSeek, -60));
  EXPECT_TRUE(is('8', Command::kMute, 8));
  EXPECT_TRUE(is('9', Command::kNone));
  EXPECT_TRUE(is(27, Command::kQuit));
  EXPECT_TRUE(is(3, Command::kInterrupt));
  EXPECT_TRUE(is(26, Command::kSuspend));
  EXPECT_TRUE(is('s', Command::kNone));
  EXPECT_TRUE(keys.solo_pending());
  EXPECT_TRUE(is('n', Command::kNext));  // not a digit: the prefix goes, the key acts
  EXPECT_FALSE(keys.solo_pending());
  EXPECT_TRUE(is('s', Command::kNone));
  EXPECT_TRUE(is('0', Command::kSolo, 0));
  EXPECT_TRUE(is('0', Command::kMute, 0));
}

}  // namespace
}  // namespace opl2::jukebox
