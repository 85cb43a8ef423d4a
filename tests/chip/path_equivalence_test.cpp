// Every fast path against the scalar reference on random register streams:
// writes to every register at random sample offsets, keys going on and off
// in every envelope state, long silences, mutes and meters, rendered in
// chunks of random length. Samples and the chip's observable state must be
// identical throughout.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "chip/chip_path.h"
#include "chip/opl2_chip.h"

namespace opl2 {
namespace {

constexpr uint8_t kOperatorOffsets[18] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x08, 0x09, 0x0A,
                                          0x0B, 0x0C, 0x0D, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15};

// One action between two chunks of samples.
struct Action {
  enum Kind : uint8_t { kWrite, kMute, kMeters, kTakePeaks, kSingleSamples, kClock } kind;
  uint8_t reg = 0, value = 0;
  uint16_t mask = 0;
};

struct Step {
  std::vector<Action> actions;
  uint32_t samples = 0;  // rendered after the actions
};

// A random stream: patches, then notes with envelopes of every speed keyed
// on and off at random points, register changes of every kind, silences.
class StreamMaker {
 public:
  explicit StreamMaker(uint32_t seed) : rng_(seed) {}

  std::vector<Step> Make(int steps) {
    std::vector<Step> out;
    Step setup;
    Write(setup, 0x01, 0x20);
    for (uint8_t op : kOperatorOffsets) RandomPatch(setup, op);
    for (int ch = 0; ch < 9; ++ch) Write(setup, 0xC0 + ch, Byte());
    setup.samples = 2;
    out.push_back(setup);
    for (int i = 0; i < steps; ++i) out.push_back(RandomStep());
    return out;
  }

 private:
  int Uniform(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  uint8_t Byte() { return static_cast<uint8_t>(Uniform(0, 255)); }
  bool Chance(int percent) { return Uniform(0, 99) < percent; }
  static void Write(Step& s, int reg, int value) {
    s.actions.push_back({Action::kWrite, static_cast<uint8_t>(reg), static_cast<uint8_t>(value)});
  }

  // Rates mostly from the quick half so that envelopes get through their
  // states within a stream, with slow ones mixed in.
  int Rate() { return Chance(70) ? Uniform(8, 15) : Uniform(0, 15); }

  void RandomPatch(Step& s, uint8_t op) {
    Write(s, 0x20 + op, Byte());
    Write(s, 0x40 + op, Chance(60) ? Uniform(0, 0x20) | (Byte() & 0xC0) : Byte());
    Write(s, 0x60 + op, Rate() << 4 | Rate());
    Write(s, 0x80 + op, Uniform(0, 15) << 4 | Rate());
    Write(s, 0xE0 + op, Uniform(0, 3));
  }

  void KeyWrite(Step& s, int ch, bool on) {
    Write(s, 0xA0 + ch, Byte());
    Write(s, 0xB0 + ch, (on ? 0x20 : 0) | Uniform(0, 7) << 2 | Uniform(0, 3));
  }

  Step RandomStep() {
    Step s;
    const int kind = Uniform(0, 99);
    if (kind < 35) {
      // Notes on and off; sometimes off and on again within one gap.
      const int ch = Uniform(0, 8);
      const bool on = Chance(55);
      KeyWrite(s, ch, on);
      if (Chance(10)) KeyWrite(s, ch, !on);
    } else if (kind < 55) {
      RandomPatch(s, kOperatorOffsets[Uniform(0, 17)]);
    } else if (kind < 65) {
      // One field of one operator, as songs change volume or timbre.
      const int base = std::array{0x20, 0x40, 0x60, 0x80, 0xE0}[Uniform(0, 4)];
      Write(s, base + kOperatorOffsets[Uniform(0, 17)], Byte());
    } else if (kind < 72) {
      Write(s, 0xC0 + Uniform(0, 8), Byte());  // feedback and connection
    } else if (kind < 77) {
      Write(s, 0xA0 + Uniform(0, 8), Byte());  // pitch of a sounding note
    } else if (kind < 80) {
      Write(s, 0xBD, Byte() & 0xC0);
      Write(s, 0x08, Byte() & 0x40);
    } else if (kind < 83) {
      // Timers, the aliases of channels 0-2 and registers that select
      // nothing.
      Write(s, 0x02 + Uniform(0, 1), Byte());
      Write(s, 0x04, Chance(20) ? 0x80 : Byte() & 0x63);
      Write(s, std::array{0xA9, 0xB9, 0xCA, 0x26, 0x4F, 0xAC}[Uniform(0, 5)], Byte());
    } else if (kind < 85) {
      // Every key off, then a long silence so that slots park.
      for (int ch = 0; ch < 9; ++ch) Write(s, 0xB0 + ch, 0);
      s.samples = Uniform(2500, 12000);
    } else if (kind < 91) {
      s.actions.push_back({Action::kMute, 0, 0, static_cast<uint16_t>(Uniform(0, 0x1FF))});
      if (Chance(30)) s.actions.back().mask = 0;
    } else if (kind < 94) {
      s.actions.push_back({Action::kMeters, 0, static_cast<uint8_t>(Chance(60))});
    } else if (kind < 96) {
      s.actions.push_back({Action::kTakePeaks});
    } else if (kind < 97) {
      // The envelope counter just before its wrap, the LFO anywhere.
      s.actions.push_back({Action::kClock, static_cast<uint8_t>(Uniform(1, 200)), Byte(),
                           static_cast<uint16_t>(Uniform(0, 1023))});
    } else {
      s.actions.push_back({Action::kSingleSamples});
    }
    if (s.samples == 0) s.samples = Chance(15) ? Uniform(0, 2) : Uniform(1, 1500);
    return s;
  }

  std::mt19937 rng_;
};

// What can be seen of a chip from outside.
struct Observed {
  std::vector<int16_t> samples;
  std::vector<int32_t> peaks;
  std::vector<int> levels;
  std::vector<uint8_t> status;
};

void Observe(Chip& chip, Observed& o) {
  for (int pos = 0; pos < 18; ++pos) o.levels.push_back(chip.SlotLevel(pos));
  o.status.push_back(chip.ReadStatus());
  const Chip::Clock c = chip.GetClock();
  o.levels.insert(o.levels.end(), {c.odd, static_cast<int>(c.env_counter), c.lfo_counter,
                                   c.vibrato_pos, c.tremolo, c.tremolo_rising});
}

Observed Play(ChipPath path, const std::vector<Step>& steps) {
  Chip chip;
  EXPECT_TRUE(chip.SetPath(path));
  Observed o;
  for (const Step& s : steps) {
    for (const Action& a : s.actions) {
      switch (a.kind) {
        case Action::kWrite:
          chip.Write(a.reg, a.value);
          break;
        case Action::kMute:
          chip.SetMutedChannels(a.mask);
          break;
        case Action::kMeters:
          chip.SetChannelMeters(a.value != 0);
          break;
        case Action::kTakePeaks: {
          std::array<int32_t, 9> peaks;
          chip.TakeChannelPeaks(peaks);
          o.peaks.insert(o.peaks.end(), peaks.begin(), peaks.end());
          break;
        }
        case Action::kClock: {
          Chip::Clock c = chip.GetClock();
          c.env_counter = (1u << 18) - a.reg;
          c.odd = (a.value & 1) != 0;
          c.lfo_counter = a.mask;
          c.vibrato_pos = static_cast<uint8_t>(a.value >> 5);
          chip.SetClock(c);
          break;
        }
        case Action::kSingleSamples:
          for (int i = 0; i < 3; ++i) o.samples.push_back(chip.Sample());
          break;
      }
    }
    const size_t at = o.samples.size();
    o.samples.resize(at + s.samples);
    chip.Generate(o.samples.data() + at, s.samples);
    Observe(chip, o);
  }
  return o;
}

size_t FirstDifference(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
    if (a[i] != b[i]) return i;
  }
  return a.size() == b.size() ? SIZE_MAX : std::min(a.size(), b.size());
}

TEST(PathEquivalence, RandomStreamsMatchTheScalarPathOnEveryPath) {
  const auto paths = SupportedChipPaths();
  ASSERT_EQ(paths.front(), ChipPath::kScalar);
  if (paths.size() == 1) GTEST_SKIP() << "only the scalar path runs here";
  for (uint32_t seed = 1; seed <= 12; ++seed) {
    const std::vector<Step> steps = StreamMaker(seed).Make(700);
    const Observed reference = Play(ChipPath::kScalar, steps);
    // The streams must sound, and fall silent long enough to park.
    size_t loud = 0, quiet_runs = 0, quiet = 0;
    for (int16_t v : reference.samples) {
      loud += v > 256 || v < -256;
      quiet = v == 0 ? quiet + 1 : 0;
      quiet_runs += quiet == 2048;
    }
    ASSERT_GT(loud, reference.samples.size() / 20) << "seed " << seed;
    ASSERT_GT(quiet_runs, 0u) << "seed " << seed;
    for (ChipPath path : paths.subspan(1)) {
      const Observed fast = Play(path, steps);
      const size_t diff = FirstDifference(fast.samples, reference.samples);
      ASSERT_EQ(diff, SIZE_MAX) << ChipPathName(path) << " seed " << seed << ": sample " << diff
                                << " of " << reference.samples.size();
      EXPECT_EQ(fast.levels, reference.levels) << ChipPathName(path) << " seed " << seed;
      EXPECT_EQ(fast.status, reference.status) << ChipPathName(path) << " seed " << seed;
      EXPECT_EQ(fast.peaks, reference.peaks) << ChipPathName(path) << " seed " << seed;
    }
  }
}

}  // namespace
}  // namespace opl2
