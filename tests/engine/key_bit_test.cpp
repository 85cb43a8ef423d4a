// The key-on bit of register 0xB0 + n belongs to the key state alone: a
// pitch word carried past block 7 (or borrowed below block 0) holds bit 5
// in its high byte, and that bit must neither key a channel off nor on.
// The writes below are worked out by hand from the tuning table.
#include <gtest/gtest.h>

#include <algorithm>

#include "harness.h"

namespace opl2::test {
namespace {

RegWrites Channel0At(const Harness& h, long tick) {
  RegWrites out;
  for (const auto& [reg, value] : h.WritesAt(tick)) {
    if (reg == 0xA0 || reg == 0xB0) out.emplace_back(reg, value);
  }
  return out;
}

TEST(KeyBit, ADetunePastBlock7KeysOnAndOffAsTheEventsSay) {
  // B7 is F-number 0x287 in block 7: high byte 2 + 4 * 7 = 0x1E, word
  // 0x1E87. Detune +0x200 makes 0x2087: high byte 0x20, bit 5 set.
  Harness h;
  ASSERT_EQ(h.Start(SongWithTrack0({0xFA, 0x00, 0x02, 0x7B, 0x04, 0x0F, 0x04, 0x80})),
            LoadResult::kLoaded);
  h.Tick(16);
  EXPECT_EQ(Channel0At(h, 16),
            (RegWrites{{0xB0, 0x1E},         // key off before the attack, note not detuned yet
                       {0xA0, 0x87},         // the detuned pitch, low byte
                       {0xB0, 0x00},         // ... high byte with the key still off
                       {0xB0, 0x20}}));      // key on
  EXPECT_EQ(h.ch(0).block_fnum_high, 0x20);  // the stored pitch is as it was
  h.Tick(4);
  EXPECT_EQ(Channel0At(h, 20), (RegWrites{{0xB0, 0x00}}));  // the rest keys off
  h.Tick(4);
  EXPECT_EQ(Channel0At(h, 24), (RegWrites{{0xB0, 0x00}}));  // the end mark too
}

TEST(KeyBit, ASlidePastBlock7KeepsTheKeyOn) {
  // Detune +0x200; C7 (F-number 0x159 in block 7, word 0x1D59) becomes
  // 0x1F59, B7 (0x1E87) becomes 0x2087: 302 steps upward through 0x2000,
  // four a tick (length 0: the channel reads no further row).
  Harness h;
  ASSERT_EQ(h.Start(SongWithTrack0({0xFA, 0x00, 0x02, 0xDA, 0x70, 0x7B, 0x00})),
            LoadResult::kLoaded);
  h.Tick(16 + 80);
  uint16_t word = 0x1F59;
  for (long t = 16; t <= 16 + 80; ++t) {
    RegWrites w = Channel0At(h, t);
    if (t == 16) {
      ASSERT_EQ((RegWrites(w.begin(), w.begin() + 4)),
                (RegWrites{{0xB0, 0x1D}, {0xA0, 0x59}, {0xB0, 0x1F}, {0xB0, 0x3F}}));
      w.erase(w.begin(), w.begin() + 4);
    }
    const size_t steps_left = 0x2087u - word;
    ASSERT_EQ(w.size(), 2 * std::min<size_t>(4, steps_left)) << t;
    for (size_t k = 0; k < w.size(); k += 2) {
      ++word;
      ASSERT_EQ(w[k], std::make_pair(0xA0, word & 0xFF)) << t;
      // Bit 5 set, the other bits those of the word's high byte.
      ASSERT_EQ(w[k + 1], std::make_pair(0xB0, (word >> 8) | 0x20)) << t;
    }
  }
  EXPECT_EQ(word, 0x2087);
  EXPECT_EQ(h.ch(0).slide_active, 0);
}

}  // namespace
}  // namespace opl2::test
