// Ticks, rows, every event, slides, and the guards for damaged tracks.
#include <gtest/gtest.h>

#include "harness.h"

namespace opl2::test {
namespace {

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Starts a song whose channel 0 plays `track` and runs to the first row.
class Channel0 : public ::testing::Test {
 protected:
  void Play(const Bytes& track, const std::vector<Patch>& patches = {}) {
    ASSERT_EQ(h.Start(SongWithTrack0(track, patches)), LoadResult::kLoaded);
    h.Tick(16);
  }
  // Channel 0's writes in one tick (the other channels only key off at 16).
  RegWrites At(long tick) const {
    RegWrites out;
    for (const auto& [reg, value] : h.WritesAt(tick)) {
      const bool other_keyoff = reg >= 0xB1 && reg <= 0xB8 && tick == 16;
      if (!other_keyoff) out.emplace_back(reg, value);
    }
    return out;
  }
  Harness h;
};

TEST_F(Channel0, FirstRowsComeOnTick16AndANoteLastsItsLength) {
  Play({0x40, 0x08, 0x80});
  for (long t = 1; t < 16; ++t) EXPECT_TRUE(h.WritesAt(t).empty()) << t;
  EXPECT_EQ(At(16), (RegWrites{{0xB0, 0x11}, {0xA0, 0x59}, {0xB0, 0x11}, {0xB0, 0x31}}));
  h.Tick(8);
  for (long t = 17; t < 24; ++t) EXPECT_TRUE(h.WritesAt(t).empty()) << t;
  EXPECT_EQ(At(24), (RegWrites{{0xB0, 0x11}}));
  EXPECT_EQ(h.ch(0).active, 0);
  h.Tick(50);
  EXPECT_EQ(h.writes().back().tick, 24);
}

TEST_F(Channel0, InstrumentVolumeAndNoteInOneRow) {
  Play({0xFF, 0x03, 0xFD, 0x40, 0x34, 0x08, 0x80},
       {{3, {0x01, 0x02, 0x43, 0x84, 0x05, 0x06, 0x07, 0x08, 0x00}}});
  const RegWrites expected = {{0xB0, 0x00}, {0x20, 0x01}, {0x23, 0x02},      {0x40, 0x43},
                              {0x43, 0x84}, {0x60, 0x05}, {0x63, 0x06},      {0x80, 0x07},
                              {0x83, 0x08}, {0xC0, 0x00}, {0x43, 0x80 | 31}, {0xB0, 0x0D},
                              {0xA0, 0xB0}, {0xB0, 0x0D}, {0xB0, 0x2D}};
  EXPECT_EQ(At(16), expected);
  EXPECT_EQ(h.ch(0).volume, 0x40);
  h.Tick(8);
  EXPECT_EQ(At(24), (RegWrites{{0xB0, 0x0D}}));
}

TEST_F(Channel0, LoopsPlayTheirBodyCountTimes) {
  Play({0xF9, 0x00, 0x00, 0x20, 0x04, 0xF8, 0x03, 0x00, 0x00, 0x00, 0x80});
  h.Tick(12);
  EXPECT_EQ(At(20).size(), 4u);  // attacked again
  EXPECT_EQ(At(24).size(), 4u);
  EXPECT_EQ(At(28), (RegWrites{{0xB0, 0x09}}));
  EXPECT_EQ(h.ch(0).active, 0);
  EXPECT_EQ(h.ch(0).loop_depth, 0);
}

TEST_F(Channel0, NestedLoopsRepeatInside) {
  // (A x2, B) x2 = A A B A A B
  Play({0xF9, 0, 0, 0xF9, 0, 0, 0x20, 1, 0xF8, 2, 0, 0, 0, 0x30, 1, 0xF8, 2, 0, 0, 0, 0x80});
  std::vector<int> blocks;
  for (int t = 0; t < 8; ++t) {
    if (t > 0) h.Tick();
    for (const auto& [reg, value] : At(h.tick())) {
      if (reg == 0xA0) blocks.push_back(h.ch(0).block_fnum_high >> 2);
    }
  }
  EXPECT_EQ(blocks, (std::vector<int>{2, 2, 3, 2, 2, 3}));
  EXPECT_EQ(h.ch(0).active, 0);
}

TEST_F(Channel0, LoopPointRepeatsForever) {
  Play({0xF6, 0x20, 0x04, 0x80});
  for (int i = 0; i < 50; ++i) {
    h.Tick(4);
    ASSERT_EQ(At(h.tick()).size(), 4u) << i;
  }
  EXPECT_EQ(h.ch(0).active, 1);
}

TEST_F(Channel0, DetuneAppliesToTheNextNotes) {
  Play({0xFA, 0x10, 0x00, 0x40, 0x01, 0xFA, 0xF0, 0xFF, 0x40, 0x01, 0x40, 0x01, 0x80});
  EXPECT_EQ(At(16)[1], std::make_pair(0xA0, 0x69));
  h.Tick();
  EXPECT_EQ(At(17)[1], std::make_pair(0xA0, 0x49));
  h.Tick();
  EXPECT_EQ(At(18)[1], std::make_pair(0xA0, 0x49));  // detune kept across notes
}

TEST_F(Channel0, TiedNoteChangesPitchWithoutAttack) {
  Play({0x40, 0x02, 0xFB, 0x24, 0x02, 0x40, 0x02, 0x80});
  h.Tick(2);
  EXPECT_EQ(At(18), (RegWrites{{0xA0, 0xB0}, {0xB0, 0x29}}));
  h.Tick(2);
  EXPECT_EQ(At(20), (RegWrites{{0xB0, 0x11}, {0xA0, 0x59}, {0xB0, 0x31}, {0xB0, 0x31}}));
}

TEST_F(Channel0, TieAfterARestStaysSilentAndSurvivesInvalidNotes) {
  Play({0x0F, 0x02, 0xFB, 0x1C, 0x05, 0x40, 0x02, 0x40, 0x02, 0x80});
  EXPECT_EQ(At(16), (RegWrites{{0xB0, 0x00}}));
  h.Tick(2);
  // Tied after a rest: written with the key off, no attack.
  EXPECT_EQ(At(18), (RegWrites{{0xA0, 0x59}, {0xB0, 0x11}}));
  EXPECT_EQ(h.ch(0).key_flag, 1);
  h.Tick(2);
  EXPECT_EQ(At(20), (RegWrites{{0xB0, 0x11}, {0xA0, 0x59}, {0xB0, 0x31}, {0xB0, 0x31}}));
}

TEST_F(Channel0, InvalidNotesAndUnknownCodesSkipTheirOperands) {
  // 1C 05: not a note; 0x7F, 0x90, 0xFE, 0xF1, 0xDF: one operand; F2: four;
  // F3, F4: none.
  Play({0x1C, 0x05, 0x7F, 0x40, 0x90, 0x41, 0xFE, 0x42, 0xF1, 0x43, 0xDF,
        0x44, 0xF2, 0x45, 0x46, 0x47, 0x48, 0xF3, 0xF4, 0x49, 0x03, 0x80});
  EXPECT_EQ(At(16)[1], std::make_pair(0xA0, 0x41));
  EXPECT_EQ(h.ch(0).step_ticks, 3);
}

TEST_F(Channel0, RestDuringASlideStopsIt) {
  Play({0xDA, 0x40, 0x50, 0x02, 0x0F, 0x06, 0x80});
  h.Tick(2);
  EXPECT_EQ(h.ch(0).slide_active, 0);
  EXPECT_EQ(At(18), (RegWrites{{0xB0, h.ch(0).block_fnum_high}}));
  h.Tick(5);
  for (long t = 19; t <= 23; ++t) EXPECT_TRUE(At(t).empty()) << t;
}

TEST_F(Channel0, TempoFromTheHighestChannelWins) {
  std::array<Bytes, kChannelCount> tracks;
  tracks.fill(Bytes{0x80});
  tracks[2] = {0xFC, 0x10, 0x0F, 0x01, 0x80};
  tracks[7] = {0xFC, 0xC8, 0x0F, 0x01, 0x80};
  ASSERT_EQ(h.Start(BuildSong(tracks)), LoadResult::kLoaded);
  h.Tick(16);
  EXPECT_EQ(h.arms().back(), std::make_pair(16L, 0xC8));
  EXPECT_EQ(h.arms()[15], std::make_pair(15L, 180));
}

TEST_F(Channel0, LengthZeroNeverAdvances) {
  Play({0x40, 0x00, 0x80});
  h.Tick(3000);
  EXPECT_EQ(h.ch(0).active, 1);
  EXPECT_EQ(h.ch(0).read_pos, 2);
}

TEST_F(Channel0, LengthZeroCountsPastTheLargestCountWithoutStepping) {
  Play({0x40, 0x00, 0x41, 0x01, 0x80});
  h.ch(0).tick_count = INT32_MAX - 1;
  h.Tick(3);
  EXPECT_EQ(h.ch(0).tick_count, INT32_MIN + 1);
  EXPECT_EQ(h.ch(0).read_pos, 2);
}

TEST_F(Channel0, EmptyTrackReadsNoteZeroWithLengthZero) {
  std::array<Bytes, kChannelCount> tracks;
  tracks.fill(Bytes{0x80});
  tracks[0] = {};
  ASSERT_EQ(h.Start(BuildSong(tracks)), LoadResult::kLoaded);
  h.Tick(16);
  EXPECT_EQ(At(16), (RegWrites{{0xB0, 0x01}, {0xA0, 0x59}, {0xB0, 0x01}, {0xB0, 0x21}}));
  h.Tick(100);
  EXPECT_EQ(h.ch(0).read_pos, 2);
}

TEST_F(Channel0, PlayingZeroTicksDoNothing) {
  Play({0x40, 0x01, 0x80});
  h.engine().seq.playing = 0;
  const size_t writes = h.writes().size();
  const size_t arms = h.arms().size();
  h.Tick(10);
  EXPECT_EQ(h.writes().size(), writes);
  EXPECT_EQ(h.arms().size(), arms);
}

// --- Slides ---

// Slide steps of channel 0 per tick from tick 16 on: the number of A0 writes.
std::vector<int> StepsPerTick(Harness& h, int ticks) {
  std::vector<int> out;
  for (int t = 0; t < ticks; ++t) {
    if (t > 0) h.Tick();
    int steps = 0;
    for (const auto& [reg, value] : h.WritesAt(h.tick())) steps += reg == 0xA0;
    out.push_back(steps);
  }
  return out;
}

TEST_F(Channel0, SlideUpAWholeToneTakes40Steps) {
  Play({0xDA, 0x40, 0x42, 0x40, 0x80});
  auto steps = StepsPerTick(h, 11);
  // The slide event's own pitch write and 4 steps, then 9 ticks of 4.
  EXPECT_EQ(steps, (std::vector<int>{5, 4, 4, 4, 4, 4, 4, 4, 4, 4, 0}));
  EXPECT_EQ(h.WritesAt(25).back(), std::make_pair(0xB0, 0x31));
  EXPECT_EQ(h.WritesAt(25)[h.WritesAt(25).size() - 2], std::make_pair(0xA0, 0x81));
  EXPECT_EQ(h.ch(0).slide_active, 0);
}

TEST_F(Channel0, SlideDownEndsOnTheTargetWord) {
  Play({0xDA, 0x42, 0x40, 0x40, 0x80});
  StepsPerTick(h, 11);
  EXPECT_EQ(h.ch(0).fnum_low, 0x59);
  EXPECT_EQ(h.ch(0).block_fnum_high, 0x11);
  EXPECT_EQ(h.ch(0).slide_active, 0);
}

TEST_F(Channel0, SlideOfASemitoneEndsWithAShortTick) {
  Play({0xDA, 0x40, 0x41, 0x40, 0x80});
  EXPECT_EQ(StepsPerTick(h, 6), (std::vector<int>{5, 4, 4, 4, 2, 0}));
}

TEST_F(Channel0, SlideAcrossABlockTakes1024Steps) {
  Play({0xFA, 0x05, 0x00, 0xDA, 0x40, 0x50, 0xFF, 0x80});
  int total = -1;  // the start note's own pitch write
  for (int steps : StepsPerTick(h, 300)) total += steps;
  EXPECT_EQ(total, 1024);
  EXPECT_EQ(h.ch(0).block_fnum_high, 0x15);
  EXPECT_EQ(h.ch(0).fnum_low, 0x59 + 5);
}

TEST_F(Channel0, SlideWithEqualCodesNeverSteps) {
  Play({0xDA, 0x40, 0x40, 0x08, 0x80});
  EXPECT_EQ(StepsPerTick(h, 8), (std::vector<int>{1, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(h.ch(0).slide_active, 1);
}

TEST_F(Channel0, SlideWithAnInvalidStartKeepsItsLengthByteForTheNextRow) {
  // The length byte 0x20 is not read: the next row reads it as note 0x20 ...
  Play({0x40, 0x03, 0xDA, 0x3C, 0x42, 0x20, 0x02, 0x80});
  h.Tick(3);
  // No note written; the slide runs from 0x40's pitch to 0x42's; step_ticks
  // stays 3.
  EXPECT_EQ(h.ch(0).slide_active, 1);
  EXPECT_EQ(At(19), (RegWrites{{0xA0, 0x5A},
                               {0xB0, 0x31},
                               {0xA0, 0x5B},
                               {0xB0, 0x31},
                               {0xA0, 0x5C},
                               {0xB0, 0x31},
                               {0xA0, 0x5D},
                               {0xB0, 0x31}}));
  h.Tick(3);
  // ... with its length 2; the note stops the slide.
  EXPECT_EQ(h.ch(0).slide_active, 0);
  EXPECT_EQ(h.ch(0).step_ticks, 2);
  EXPECT_EQ(h.ch(0).block_fnum_high, 0x09);
}

TEST_F(Channel0, SlideEndNoteThatIsNotANoteKeepsThePreviousTarget) {
  // Octave 8 and semitone 12 are both not notes: the target stays 0 + detune.
  Play({0xDA, 0x40, 0x8C, 0x02, 0xDA, 0x40, 0x92, 0x02, 0x80});
  EXPECT_EQ(h.ch(0).slide_target, 0);
  // Upward by the codes, but the word already lies past the target: one step.
  EXPECT_EQ(h.ch(0).slide_active, 0);
  for (const auto& [reg, value] : At(16)) {
    if (reg == 0xB0) {
      EXPECT_LE(value, 0x3F);
    }
  }
}

TEST_F(Channel0, SlideStartWithOctaveAbove7IsNotANote) {
  Play({0x40, 0x02, 0x0F, 0x02, 0xDA, 0x95, 0x20, 0x02, 0x80});
  h.Tick(4);
  // 0x95 is not a note: no pitch write, no key-on with stray bits; the slide
  // runs down from the held pitch towards 0x20's.
  for (const Write& w : h.writes()) {
    if (w.reg == 0xB0) {
      EXPECT_EQ(w.value & 0xC0, 0) << w.tick;
    }
  }
  EXPECT_EQ(h.ch(0).slide_active, 1);
}

TEST_F(Channel0, SlideGoesOnAfterTheChannelStops) {
  Play({0xDA, 0x40, 0x42, 0x01, 0x80});
  h.Tick();
  EXPECT_EQ(h.ch(0).active, 0);
  EXPECT_EQ(h.WritesAt(17).front(), std::make_pair(0xB0, h.ch(0).block_fnum_high - 0));
  h.Tick(20);
  EXPECT_EQ(h.ch(0).slide_active, 0);
  EXPECT_EQ(h.writes().back(), (Write{25, 0xB0, 0x31}));
}

// --- Guards for damaged tracks ---

TEST_F(Channel0, LoopEndWithCountZeroReadsItsCountAsTheNextEvent) {
  Play({0xF9, 0x00, 0x00, 0xF8, 0x00, 0x03, 0x80});
  // F8 neither jumps nor closes; 00 03 then plays note 0 for 3 ticks.
  EXPECT_EQ(At(16)[1], std::make_pair(0xA0, 0x59));
  EXPECT_EQ(h.ch(0).step_ticks, 3);
  EXPECT_EQ(h.ch(0).loop_depth, 1);
}

TEST_F(Channel0, UnmatchedLoopEndJumpsToTheStartButNeverGoesBelowDepth0) {
  Play({0x20, 0x01, 0xF8, 0x02, 0, 0, 0, 0x30, 0x01, 0x80});
  h.Tick();  // F8 at depth 0: count 1 < 2, back to position 0
  EXPECT_EQ(h.ch(0).read_pos, 2);
  h.Tick();  // count 2 == 2: closes, depth stays 0
  EXPECT_EQ(h.ch(0).loop_depth, 0);
  EXPECT_EQ(h.ch(0).block_fnum_high >> 2, 3);
}

TEST_F(Channel0, A256thNestedLoopStopsTheChannel) {
  Bytes track;
  for (int i = 0; i < 255; ++i) track.insert(track.end(), {0xF9, 0, 0});
  track.insert(track.end(), {0x40, 0x01});
  track.insert(track.end(), {0xF9, 0, 0, 0x40, 0x01, 0x80});
  Play(track);
  EXPECT_EQ(h.ch(0).loop_depth, 255);
  EXPECT_EQ(h.ch(0).active, 1);
  h.Tick();
  EXPECT_EQ(h.ch(0).active, 0);
  EXPECT_EQ(h.ch(0).loop_depth, 255);
  EXPECT_EQ(At(17), (RegWrites{{0xB0, 0x11}}));
}

TEST_F(Channel0, ARowThatNeverClosesStopsTheChannelAfter65536Events) {
  Play({0xF6, 0xFD, 0x7F, 0x80});
  EXPECT_EQ(h.ch(0).active, 0);
  // 65,536 events read: the loop point, then volume changes (carrier level
  // 0x00) and end marks in turn, 32,768 volumes; then the channel is keyed
  // off. The row provably never closes, and it stops where it always did.
  RegWrites expected(32'768, {0x43, 0x00});
  expected.push_back({0xB0, 0x00});
  EXPECT_EQ(At(16), expected);
  h.Tick(100);
  EXPECT_EQ(h.writes().back().tick, 16);
}

// Nested loops whose row closes play whole up to 2^24 events, far beyond
// any one-level loop.
TEST_F(Channel0, RowsOfNestedLoopsThatCloseWithin2To24EventsPlayWhole) {
  const Bytes start = {0xF9, 0, 0};
  const Bytes end255 = {0xF8, 0xFF, 0, 0, 0};
  const Bytes note = {0x40, 0x04, 0x80};
  // Two loops of 255 around a reserved code: 2 + 255 * (1 + 255 * 2 + 1) =
  // 130,562 events, then the note.
  Play(start + start + Bytes{0xF4} + end255 + end255 + note);
  EXPECT_EQ(h.ch(0).active, 1);
  EXPECT_EQ(At(16), (RegWrites{{0xB0, 0x11}, {0xA0, 0x59}, {0xB0, 0x11}, {0xB0, 0x31}}));
  h.Tick(4);
  EXPECT_EQ(At(20), (RegWrites{{0xB0, 0x11}}));  // the end mark: key off, stop

  // Three loops of 255 around nothing: 3 + 255 * (1 + 255 * (1 + 255)) + ...
  // = 16,646,913 events, below 2^24 = 16,777,216.
  Harness three;
  ASSERT_EQ(three.Start(SongWithTrack0(start + start + start + end255 + end255 + end255 + note)),
            LoadResult::kLoaded);
  three.Tick(16);
  EXPECT_EQ(three.ch(0).active, 1);
  EXPECT_EQ(three.ch(0).step_ticks, 4);

  // Around one volume it needs 3 + 255 * (1 + 255 * (1 + 255 * 2)) = 33
  // million: it stops where a row that never closes does, after 65,536
  // events. Past the 3 loop starts: a first middle pass of 255 volumes and
  // loop ends and the middle loop end (511 events), 126 passes of 512 (the
  // inner loop start too), then the inner loop start and 254 volume-and-end
  // pairs and a volume: 255 * 128 volumes, then the key-off.
  Harness over;
  ASSERT_EQ(over.Start(SongWithTrack0(start + start + start + Bytes{0xFD, 0x7F} + end255 + end255 +
                                      end255 + note)),
            LoadResult::kLoaded);
  over.Tick(16);
  EXPECT_EQ(over.ch(0).active, 0);
  RegWrites expected(255 * 128, {0x43, 0x00});
  for (int c = 0; c < kChannelCount; ++c) expected.push_back({0xB0 + c, 0x00});  // the others end
  EXPECT_EQ(over.WritesAt(16), expected);
}

TEST_F(Channel0, AnEventPastTheTrackBufferStopsTheChannel) {
  // Track 1 spans file offsets 1..65535, header included: bound[0] reads as
  // the no-op F3 and a loop start that swallows bound[1] (00 00); the other
  // header words are instrument changes. At buffer index 65533 an F2 skips
  // four operand bytes, taking the next event fetch past the buffer.
  Bytes song(65'536, 0xF3);
  song[0] = kSongFormatId;
  song[1] = 0xF3;
  song[2] = 0xF9;  // bound[0] = 0xF9F3: track 0 is empty
  song[3] = 0x00;
  song[4] = 0x00;  // bound[1] = 0
  for (int k = 2; k <= 9; ++k) song[1 + 2 * k] = song[2 + 2 * k] = 0xFF;
  song[25] = song[26] = 0xFF;  // the bank lies past the end of the file
  song[65'534] = 0xF2;
  ASSERT_EQ(h.Start(song), LoadResult::kLoaded);
  EXPECT_EQ(h.song().tracks[1][65'533], 0xF2);
  h.Tick(16);
  EXPECT_EQ(h.ch(1).active, 0);
  EXPECT_EQ(h.ch(1).read_pos, 65'538);
  int last_b1 = -1;
  for (const auto& [reg, value] : h.WritesAt(16)) {
    if (reg == 0xB1) last_b1 = value;
  }
  EXPECT_EQ(last_b1, 0x00);  // keyed off
  h.Tick(100);
  EXPECT_EQ(h.ch(1).active, 0);
}

}  // namespace
}  // namespace opl2::test
