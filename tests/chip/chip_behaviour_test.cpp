// Chip behaviour beyond the reference renders: status and timers, the
// waveform-select gate, silence detection, key-on as a sampled level, and
// the write timings the renders don't exercise.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "chip/opl2_chip.h"
#include "chip/reg_stream.h"

namespace opl2 {
namespace {

std::vector<int16_t> Render(const std::string& text) {
  RegStream stream;
  std::string error;
  EXPECT_TRUE(ParseRegStream(text, &stream, &error)) << error;
  return RenderRegStream(stream);
}

// First index where the two renders differ, or -1.
long FirstDifference(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
  const auto [ia, ib] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
  return ia == a.end() ? -1 : static_cast<long>(ia - a.begin());
}

void Advance(Chip& chip, int n) {
  std::vector<int16_t> out(n);
  chip.Generate(out.data(), out.size());
}

TEST(Status, TimersSetFlagsAndClear) {
  Chip chip;
  EXPECT_EQ(chip.ReadStatus(), 0x06);
  chip.Write(0x02, 0xFF);
  chip.Write(0x04, 0x01);  // run timer 1: one count to overflow
  Advance(chip, 3);
  EXPECT_EQ(chip.ReadStatus(), 0x06);
  Advance(chip, 2);
  EXPECT_EQ(chip.ReadStatus(), 0xC6);
  chip.Write(0x04, 0x80);  // clear flags; timer 1 keeps running
  EXPECT_EQ(chip.ReadStatus(), 0x06);
  Advance(chip, 4);
  EXPECT_EQ(chip.ReadStatus(), 0xC6);

  chip.Reset();
  chip.Write(0x03, 0xFE);
  chip.Write(0x04, 0x02);  // timer 2: two counts of 16 samples
  Advance(chip, 30);
  EXPECT_EQ(chip.ReadStatus(), 0x06);
  Advance(chip, 4);
  EXPECT_EQ(chip.ReadStatus(), 0xA6);
}

TEST(Status, MaskedTimerNeverSetsItsFlag) {
  Chip chip;
  chip.Write(0x02, 0xFF);
  chip.Write(0x03, 0xFF);
  chip.Write(0x04, 0x63);  // both running, both masked
  Advance(chip, 200);
  EXPECT_EQ(chip.ReadStatus(), 0x06);
}

// Channel 3, carrier only, sine patch held at full volume; `extra` goes
// before the key-on.
std::string HeldTone(const std::string& extra) {
  return "w 4B 00\nw 6B F0\nw 8B 0F\nw 2B 21\nw 48 3F\n" + extra +
         "s 2\nw A3 44\nw B3 32\ns 4000\n";
}

bool HasNegative(const std::vector<int16_t>& s) {
  return std::any_of(s.begin(), s.end(), [](int16_t v) { return v < -2; });
}

TEST(Waveforms, SelectNeedsWseAtWriteTime) {
  EXPECT_TRUE(HasNegative(Render(HeldTone("w EB 01\n")))) << "accepted without WSE";
  EXPECT_FALSE(HasNegative(Render(HeldTone("w 01 20\nw EB 01\n"))));
  // Clearing WSE later keeps the selected waveform.
  EXPECT_FALSE(HasNegative(Render(HeldTone("w 01 20\nw EB 01\nw 01 00\n"))));
  // Setting WSE after the write does not bring it back.
  EXPECT_TRUE(HasNegative(Render(HeldTone("w EB 01\nw 01 20\n"))));
}

TEST(Silence, FollowsKeyAndRelease) {
  Chip chip;
  EXPECT_TRUE(chip.IsSilent());
  for (auto [r, v] : {std::pair{0x4B, 0x00}, {0x6B, 0xF0}, {0x8B, 0x0F}, {0x2B, 0x21}}) {
    chip.Write(static_cast<uint8_t>(r), static_cast<uint8_t>(v));
  }
  Advance(chip, 2);
  EXPECT_TRUE(chip.IsSilent());
  chip.Write(0xA3, 0x44);
  chip.Write(0xB3, 0x32);
  EXPECT_FALSE(chip.IsSilent()) << "a pending key-on";
  Advance(chip, 100);
  EXPECT_FALSE(chip.IsSilent());
  chip.Write(0xB3, 0x12);  // key off; RR 15 releases in 128 samples
  Advance(chip, 100);
  EXPECT_FALSE(chip.IsSilent());
  Advance(chip, 40);
  EXPECT_TRUE(chip.IsSilent());
  int16_t out[64];
  chip.Generate(out, 64);
  EXPECT_TRUE(std::all_of(out, out + 64, [](int16_t v) { return v == 0; }));
}

TEST(KeyOn, IsALevelSampledOncePerSample) {
  // A retrigger restarts the phase, which changes the waveform from then on.
  const std::string tone = HeldTone("") + "s 1000\n";
  const std::vector<int16_t> held = Render(tone + "s 200\n");
  EXPECT_EQ(FirstDifference(Render(tone + "w B3 12\nw B3 32\ns 200\n"), held), -1)
      << "a key-off undone before the next sample must not be seen";
  EXPECT_GE(FirstDifference(Render(tone + "w B3 12\ns 1\nw B3 32\ns 199\n"), held), 5000)
      << "one sample of key-off must retrigger";
}

TEST(Envelope, DecayEndsOnlyAtTheExactSustainLevel) {
  // Decay toward SL 15 (level 496), then SL drops to 2 below the current
  // level: the decay runs on to silence although the key stays on.
  Chip chip;
  for (auto [r, v] : {std::pair{0x4B, 0x00}, {0x6B, 0xFC}, {0x8B, 0xF0}, {0x2B, 0x01}}) {
    chip.Write(static_cast<uint8_t>(r), static_cast<uint8_t>(v));
  }
  Advance(chip, 3);
  chip.Write(0xB3, 0x20);
  Advance(chip, 10);
  ASSERT_LT(chip.SlotLevel(9), 100);
  while (chip.SlotLevel(9) < 100) chip.Sample();
  chip.Write(0x8B, 0x20);
  Advance(chip, 20000);
  EXPECT_EQ(chip.SlotLevel(9), 511);
}

std::string W(int reg, int value) {
  char line[16];
  std::snprintf(line, sizeof line, "w %02X %02X\n", reg, value);
  return line;
}

constexpr int kModOffset[9] = {0x00, 0x01, 0x02, 0x08, 0x09, 0x0A, 0x10, 0x11, 0x12};

// An additive channel with a loud modulator (tremolo on, feedback
// `feedback`) and a carrier turned right down, so the output follows the
// modulator. Keyed on, then run for `settle` samples.
std::string AdditiveModulator(int ch, int feedback, int settle) {
  const int m = kModOffset[ch], c = m + 3;
  return W(0x20 + m, 0xA1) + W(0x40 + m, 0x00) + W(0x60 + m, 0xF0) + W(0x80 + m, 0x0F) +
         W(0x20 + c, 0x21) + W(0x40 + c, 0x3F) + W(0x60 + c, 0xF0) + W(0x80 + c, 0x0F) +
         W(0xC0 + ch, feedback << 1 | 1) + "s 2\n" + W(0xA0 + ch, 0x44) + W(0xB0 + ch, 0x32) +
         "s " + std::to_string(settle) + "\n";
}

// Renders the patch on `ch` with and without `change` written before sample
// 3002 and returns the first output sample that differs.
long FirstEffect(int ch, int feedback, const std::string& change) {
  const std::string head = AdditiveModulator(ch, feedback, 3000);
  return FirstDifference(Render(head + change + "s 500\n"), Render(head + "s 500\n"));
}

TEST(WriteTiming, DepthAndNoteSelectReachChannels6To8OneSampleEarly) {
  // Tremolo is deep enough by sample 3002 for the depth bit to matter.
  EXPECT_EQ(FirstEffect(0, 0, W(0xBD, 0x80)), 3002);
  EXPECT_EQ(FirstEffect(3, 0, W(0xBD, 0x80)), 3002);
  EXPECT_EQ(FirstEffect(6, 0, W(0xBD, 0x80)), 3001);
  EXPECT_EQ(FirstEffect(8, 0, W(0xBD, 0x80)), 3001);
}

TEST(WriteTiming, FeedbackReachesChannels0To5OneSampleLate) {
  EXPECT_EQ(FirstEffect(0, 1, W(0xC0, 7 << 1 | 1)), 3003);
  EXPECT_EQ(FirstEffect(4, 1, W(0xC4, 7 << 1 | 1)), 3003);
  EXPECT_EQ(FirstEffect(7, 1, W(0xC7, 7 << 1 | 1)), 3002);
}

TEST(WriteTiming, OperatorWritesReachLowPositionsOneSampleLate) {
  // Total level of the modulator: position 12 (channel 6) is late,
  // position 13 (channel 7) is on time.
  EXPECT_EQ(FirstEffect(6, 0, W(0x50, 0x10)), 3003);
  EXPECT_EQ(FirstEffect(7, 0, W(0x51, 0x10)), 3002);
  EXPECT_EQ(FirstEffect(2, 0, W(0x42, 0x10)), 3003);
}

TEST(Writes, ThoseSelectingNothingOrRhythmChangeNothing) {
  const std::string head = AdditiveModulator(4, 3, 1000);
  const std::string plain = head + "s 1000\n";
  const std::string noise = head + W(0x26, 0x00) + W(0x47, 0x3F) + W(0x6E, 0x00) + W(0x9F, 0x00) +
                            W(0x36, 0xFF) + W(0xAC, 0xFF) + W(0xBD, 0x3F) + W(0x08, 0x80) +
                            "s 1000\n";
  EXPECT_EQ(FirstDifference(Render(noise), Render(plain)), -1);
}

}  // namespace
}  // namespace opl2
