// The output-stage channel mute and the channel level meters, checked
// against renders that do not use them: channels meet only in the output
// sum, so muting a channel must sound exactly like never keying it on, and a
// channel's meter must read what that channel alone puts out.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <vector>

#include "chip/chip_test_util.h"

namespace opl2 {
namespace {

using testing::LoadStream;
using testing::ReadS16;
using testing::ReferenceDir;

constexpr size_t kReferenceLag = 2;

RegStream Reference(const char* name) {
  return LoadStream(ReferenceDir() + "/" + name + ".regs");
}

// Channel written by a 0xB0-row register, including the aliases 9-11 of
// channels 0-2; -1 for none.
int KeyChannel(uint8_t reg) {
  if ((reg & 0xF0) != 0xB0 || reg == 0xBD) return -1;
  const int index = reg & 0x0F;
  if (index < 9) return index;
  return index < 12 ? index - 9 : -1;
}

// The stream with every key-on of the channels in `mask` taken out.
RegStream WithoutKeyOns(RegStream stream, uint16_t mask) {
  for (RegCommand& c : stream.commands) {
    const int ch = KeyChannel(c.reg);
    if (c.kind == RegCommand::Kind::kWrite && ch >= 0 && ((mask >> ch) & 1)) c.value &= ~0x20;
  }
  return stream;
}

// The stream with every operator's total level at least `tl`, so that no
// channel's output reaches the range where the DAC drops low bits.
RegStream Quieter(RegStream stream, int tl) {
  for (RegCommand& c : stream.commands) {
    if (c.kind == RegCommand::Kind::kWrite && c.reg >= 0x40 && c.reg < 0x60) {
      c.value = static_cast<uint8_t>((c.value & 0xC0) | std::max(c.value & 0x3F, tl));
    }
  }
  return stream;
}

// Renders like RenderRegStream, in blocks through Generate, calling
// `before(i)` ahead of every output sample i that is a multiple of `every`.
std::vector<int16_t> Render(const RegStream& stream, Chip& chip,
                            const std::function<void(size_t)>& before = nullptr,
                            size_t every = SIZE_MAX) {
  chip.Reset();
  // Output sample i comes from the chip's sample i + 1: the first only fills
  // its latency, and one more ends the stream.
  std::vector<int16_t> out(stream.total_samples + 1);
  size_t made = 0;
  auto render = [&](uint64_t n) {
    while (n > 0) {
      // Up to the next output sample that `before` must precede.
      size_t chunk = static_cast<size_t>(n);
      if (before && made > 0) {
        const size_t i = made - 1;
        if (i % every == 0) before(i);
        chunk = std::min(chunk, every - i % every);
      } else if (before) {
        chunk = 1;
      }
      chip.Generate(out.data() + made, chunk);
      made += chunk;
      n -= chunk;
    }
  };
  for (const RegCommand& c : stream.commands) {
    if (c.kind == RegCommand::Kind::kWrite) {
      chip.Write(c.reg, c.value);
    } else {
      render(c.samples);
    }
  }
  render(1);
  out.erase(out.begin());
  return out;
}

TEST(Mute, SoundsLikeTheChannelsNeverKeyedOn) {
  // Channels 0 (late modulator), 4 and 7 (late carrier) of every-channel
  // chords, and the FM/additive patch tour.
  for (const char* name : {"s09_all9_chords", "s02_fm_patches", "s03_additive_patches"}) {
    for (uint16_t mask : {0x091, 0x1FE, 0x100}) {
      const RegStream stream = Reference(name);
      Chip muted;
      muted.SetMutedChannels(mask);
      Chip plain;
      const std::vector<int16_t> expected = Render(WithoutKeyOns(stream, mask), plain);
      ASSERT_GT(std::count_if(expected.begin(), expected.end(), [](int16_t v) { return v > 64; }),
                1000)
          << name << ": the channels left must be heard";
      EXPECT_EQ(Render(stream, muted), expected) << name << " mask " << mask;
    }
  }
}

TEST(Mute, EveryChannelMutedIsZeroAndUnmutingRestoresTheDieRender) {
  const RegStream stream = Reference("s09_all9_chords");
  const std::vector<int16_t> die = ReadS16(ReferenceDir() + "/s09_all9_chords.s16");
  Chip chip;
  chip.SetMutedChannels(0x1FF);
  const std::vector<int16_t> silent = Render(stream, chip);
  EXPECT_TRUE(std::all_of(silent.begin(), silent.end(), [](int16_t v) { return v == 0; }));

  // Muted for the first half, then unmuted: from then on the die render.
  const size_t half = stream.total_samples / 2;
  chip.SetMutedChannels(0x0F3);
  const std::vector<int16_t> ours = Render(
      stream, chip,
      [&](size_t i) {
        if (i == half) chip.SetMutedChannels(0);
      },
      half);
  ASSERT_EQ(ours.size(), die.size());
  size_t differing_first_half = 0;
  for (size_t i = 0; i + kReferenceLag < ours.size(); ++i) {
    if (i < half) {
      differing_first_half += ours[i] != die[i + kReferenceLag];
    } else {
      ASSERT_EQ(ours[i], die[i + kReferenceLag]) << "sample " << i;
    }
  }
  EXPECT_GT(differing_first_half, half / 4) << "the mute must have been heard";
}

TEST(Meters, ReadEachChannelsOwnOutput) {
  // Quiet enough that the DAC passes every sum unchanged, so a render with
  // one channel keyed on outputs exactly that channel's contribution.
  const RegStream stream = Quieter(Reference("s09_all9_chords"), 40);
  constexpr size_t kWindow = 997;
  const uint16_t muted = 1 << 5;
  Chip chip;
  chip.SetMutedChannels(muted);
  chip.SetChannelMeters(true);
  std::vector<std::array<int32_t, 9>> windows;
  Render(
      stream, chip,
      [&](size_t i) {
        if (i > 0) chip.TakeChannelPeaks(windows.emplace_back());
      },
      kWindow);
  ASSERT_GT(windows.size(), 100u);
  for (int ch = 0; ch < 9; ++ch) {
    Chip alone;
    const std::vector<int16_t> own = Render(WithoutKeyOns(stream, 0x1FF & ~(1 << ch)), alone);
    int32_t loudest = 0;
    for (size_t w = 0; w < windows.size(); ++w) {
      int32_t peak = 0;
      for (size_t i = w * kWindow; i < (w + 1) * kWindow; ++i) {
        peak = std::max(peak, std::abs(static_cast<int32_t>(own[i])));
      }
      ASSERT_LT(peak, 512) << "channel " << ch << " too loud for an exact DAC";
      loudest = std::max(loudest, peak);
      ASSERT_EQ(windows[w][ch], (muted >> ch) & 1 ? 0 : peak)
          << "channel " << ch << " window " << w;
    }
    EXPECT_GT(loudest, 20) << "channel " << ch << " must be heard";
  }
}

TEST(Meters, OffReadsZerosAndCostsNoOutputChange) {
  const RegStream stream = Reference("s09_all9_chords");
  const std::vector<int16_t> die = ReadS16(ReferenceDir() + "/s09_all9_chords.s16");
  Chip chip;
  chip.SetChannelMeters(true);
  std::vector<int16_t> ours = Render(stream, chip);
  std::array<int32_t, 9> peaks;
  chip.TakeChannelPeaks(peaks);
  EXPECT_GT(*std::max_element(peaks.begin(), peaks.end()), 0);
  ASSERT_EQ(ours.size(), die.size());
  EXPECT_TRUE(std::equal(ours.begin(), ours.end() - kReferenceLag, die.begin() + kReferenceLag));
  chip.SetChannelMeters(false);
  ours = Render(stream, chip);
  chip.TakeChannelPeaks(peaks);
  EXPECT_EQ(peaks, (std::array<int32_t, 9>{}));
}

}  // namespace
}  // namespace opl2
