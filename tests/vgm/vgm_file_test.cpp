// The VGM writer and reader: wait encoding, header fields, loops, the GD3
// tag, and the reader's rejection of damaged files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "vgm/gd3_tag.h"
#include "vgm/vgm_format.h"
#include "vgm/vgm_reader.h"
#include "vgm/vgm_writer.h"

namespace opl2::vgm {
namespace {

using Bytes = std::vector<uint8_t>;

uint32_t Get32(const Bytes& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
void Set32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Master clock of the first clock tick inside wait sample `s`.
uint64_t ClockOfSample(uint64_t s) {
  return (s * kYm3812Clock + kSampleRate - 1) / kSampleRate;
}

Bytes Build(const VgmWriter& w, uint64_t end_clock, std::optional<LoopStart> loop = {},
            const Gd3Tag& tag = {}) {
  VgmImage image;
  std::string error;
  EXPECT_TRUE(w.Finish(end_clock, loop, tag, &image, &error)) << error;
  return image.bytes;
}

bool Read(const Bytes& b, VgmFile* f, std::string* error) {
  return ReadVgm(b.data(), b.size(), f, error);
}

TEST(VgmWaits, EveryLengthAddsUpWithTheShortestCommands) {
  struct Case {
    uint64_t samples;
    Bytes bytes;
  };
  const Case cases[] = {
      {0, {}},
      {1, {0x70}},
      {16, {0x7F}},
      {17, {0x61, 17, 0}},
      {735, {0x62}},
      {882, {0x63}},
      {65'535, {0x61, 0xFF, 0xFF}},
      {65'536, {0x61, 0xFF, 0xFF, 0x70}},
      {65'535 + 735, {0x61, 0xFF, 0xFF, 0x62}},
      {3 * 65'535 + 100, {0x61, 0xFF, 0xFF, 0x61, 0xFF, 0xFF, 0x61, 0xFF, 0xFF, 0x61, 100, 0}},
  };
  for (const Case& c : cases) {
    Bytes out;
    AppendWait(out, c.samples);
    EXPECT_EQ(out, c.bytes) << c.samples;
  }
}

// Where a VGM player puts a write: it runs the chip at 3,579,545 / 72 Hz
// and applies a write that waits v samples of 44.1 kHz before chip sample
// floor(v * 3,579,545 / (72 * 44,100)) + 1. Our chip applies a write at
// master clock m before sample floor(m / 72) + 1. Which positions reach
// which chip sample is found here by trying every position, not from the
// writer's formula.
TEST(VgmWriter, EachWriteLandsOnItsOwnChipSampleWhereverThe441kHzGridAllows) {
  auto player_sample = [](uint64_t v) { return v * 3'579'545 / (72 * 44'100) + 1; };
  // Runs of writes 104 master clocks apart at the start of each tick
  // (Timer B 180, then 255), as the engine makes them; 40,000 writes.
  VgmWriter w;
  std::vector<uint64_t> clocks;
  for (uint64_t k = 0; clocks.size() < 40'000; ++k) {
    const uint64_t opm = k < 2'000 ? k * 77'824 : 2'000 * 77'824 + (k - 2'000) * 1'024;
    const uint64_t start = opm * kYm3812Clock / 3'400'000;
    for (uint64_t j = 0; j < 1 + k % 10; ++j) {  // 10 fit in the shortest tick
      clocks.push_back(start + 104 * j);
      w.AddWrite(clocks.back(), static_cast<uint8_t>(0xA0 + k % 9), static_cast<uint8_t>(j));
    }
  }
  const uint64_t end = clocks.back() + 1'000'000;
  const Bytes b = Build(w, end);
  VgmFile f;
  std::string error;
  ASSERT_TRUE(Read(b, &f, &error)) << error;
  ASSERT_EQ(f.writes.size(), clocks.size());

  // Which chip samples some position reaches.
  const uint64_t slots = end / 72 + 3;
  std::vector<bool> reached(slots, false);
  for (uint64_t v = 0; player_sample(v) < slots; ++v) reached[player_sample(v)] = true;
  const double slots_with_a_position =
      static_cast<double>(std::count(reached.begin() + 1, reached.end(), true)) /
      static_cast<double>(slots - 1);
  EXPECT_NEAR(slots_with_a_position, 0.887, 0.001);

  size_t exact = 0;
  for (size_t i = 0; i < clocks.size(); ++i) {
    const uint64_t own = clocks[i] / 72 + 1;
    const uint64_t got = player_sample(f.writes[i].sample);
    if (i > 0) {
      ASSERT_GE(f.writes[i].sample, f.writes[i - 1].sample) << "order, write " << i;
    }
    if (reached[own]) {
      ASSERT_EQ(got, own) << "write " << i << " has a position on its own sample";
      ++exact;
    } else {
      // No 44.1 kHz instant in its slot: the next sample, never an earlier one.
      ASSERT_EQ(got, own + 1) << "write " << i;
    }
  }
  const double share = static_cast<double>(exact) / static_cast<double>(clocks.size());
  std::printf("  %.1f %% of %zu writes on their own chip sample\n", 100 * share, clocks.size());
  EXPECT_GE(share, 0.88);
  // The length is the end's own position, reached by the waits.
  EXPECT_EQ(player_sample(f.total_samples), end / 72 + (reached[end / 72 + 1] ? 1 : 2));
  EXPECT_EQ(f.counts.ym3812_writes, clocks.size());
}

TEST(VgmWriter, HeaderFieldsAndLoop) {
  VgmWriter w;
  w.AddWrite(0, 0x01, 0x00);
  w.AddWrite(104, 0x20, 0x01);
  w.AddWrite(ClockOfSample(1'000), 0xA0, 0x41);  // the loop starts here
  w.AddWrite(ClockOfSample(1'000) + 104, 0xB0, 0x32);
  w.AddWrite(ClockOfSample(50'000), 0xB0, 0x12);
  w.AddWrite(ClockOfSample(90'000), 0xB0, 0x32);  // at the end: left out
  const Bytes b = Build(w, ClockOfSample(90'000), LoopStart{2, ClockOfSample(1'000)});

  EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "Vgm ");
  EXPECT_EQ(Get32(b, 0x04), b.size() - 4);
  EXPECT_EQ(Get32(b, 0x08), 0x151u);
  EXPECT_EQ(Get32(b, 0x34), 0x100u - 0x34);
  EXPECT_EQ(Get32(b, 0x50), 3'579'545u);
  EXPECT_EQ(Get32(b, 0x18), 90'000u);
  EXPECT_EQ(Get32(b, 0x20), 89'000u);
  const uint32_t loop_at = Get32(b, 0x1C) + 0x1C;
  // The loop offset points at the first write of the looped part.
  EXPECT_EQ(b[loop_at], 0x5A);
  EXPECT_EQ(b[loop_at + 1], 0xA0);
  EXPECT_EQ(std::string(b.begin() + Get32(b, 0x14) + 0x14, b.begin() + Get32(b, 0x14) + 0x18),
            "Gd3 ");

  VgmFile f;
  std::string error;
  ASSERT_TRUE(Read(b, &f, &error)) << error;
  EXPECT_EQ(f.writes.size(), 5u);
  EXPECT_EQ(f.loop_offset, loop_at);
  EXPECT_EQ(f.loop_samples, 89'000u);
  ASSERT_TRUE(f.loop_first_write.has_value());
  EXPECT_EQ(*f.loop_first_write, 2u);
  EXPECT_EQ(f.writes[4].sample, 50'000u);

  // Without a loop both loop fields are 0.
  const Bytes plain = Build(w, ClockOfSample(90'000));
  EXPECT_EQ(Get32(plain, 0x1C), 0u);
  EXPECT_EQ(Get32(plain, 0x20), 0u);
}

TEST(Gd3, FieldsSurviveTheRoundTripInUtf16) {
  Gd3Tag tag;
  tag.fields[kTitle] = "Menuett in G";
  tag.fields[kTitleJp] = "\xE3\x83\xA1\xE3\x83\x8C\xE3\x82\xA8\xE3\x83\x83\xE3\x83\x88";
  tag.fields[kAuthor] = "Zo\xC3\xAB \xF0\x9D\x84\x9E";  // U+00EB, U+1D11E (a surrogate pair)
  tag.fields[kNotes] = "line 1\nline 2";
  const Bytes b = EncodeGd3(tag);
  EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "Gd3 ");
  EXPECT_EQ(Get32(b, 4), 0x100u);
  EXPECT_EQ(Get32(b, 8), b.size() - 12);
  // "Menuett in G" is the first string, one UTF-16LE unit per letter.
  EXPECT_EQ(b[12], 'M');
  EXPECT_EQ(b[13], 0);
  Gd3Tag back;
  size_t used = 0;
  std::string error;
  ASSERT_TRUE(DecodeGd3(b.data(), b.size(), &back, &used, &error)) << error;
  EXPECT_EQ(used, b.size());
  EXPECT_EQ(back.fields, tag.fields);

  // Broken UTF-8 becomes U+FFFD instead of breaking the tag.
  Gd3Tag bad;
  bad.fields[kTitle] =
      "a\xFF"
      "b\xC3";
  const Bytes bb = EncodeGd3(bad);
  ASSERT_TRUE(DecodeGd3(bb.data(), bb.size(), &back, &used, &error)) << error;
  EXPECT_EQ(back.fields[kTitle],
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD");
}

// A small valid file: a few writes, a loop, a tag.
Bytes SmallFile() {
  VgmWriter w;
  w.AddWrite(0, 0x20, 0x01);
  w.AddWrite(ClockOfSample(20), 0xA0, 0x41);
  w.AddWrite(ClockOfSample(800), 0xB0, 0x32);
  Gd3Tag tag;
  tag.fields[kTitle] = "t";
  return Build(w, ClockOfSample(2'000), LoopStart{1, ClockOfSample(20)}, tag);
}

std::string ErrorOf(const Bytes& b) {
  VgmFile f;
  std::string error;
  if (Read(b, &f, &error)) return "";
  EXPECT_NE(error, "");
  return error;
}

TEST(VgmReader, EveryTruncationIsRejected) {
  const Bytes good = SmallFile();
  ASSERT_EQ(ErrorOf(good), "");
  for (size_t n = 0; n < good.size(); ++n) {
    const Bytes cut(good.begin(), good.begin() + n);
    EXPECT_NE(ErrorOf(cut), "") << "cut to " << n << " bytes";
  }
  // Even with the end-of-file offset made to fit, a cut file is rejected.
  for (size_t n = 0x40; n < good.size(); ++n) {
    Bytes cut(good.begin(), good.begin() + n);
    Set32(cut, 0x04, static_cast<uint32_t>(n - 4));
    EXPECT_NE(ErrorOf(cut), "") << "cut to " << n << " bytes, offset fixed";
  }
}

TEST(VgmReader, DamagedHeadersAndCommandsAreRejectedWithTheirReason) {
  const Bytes good = SmallFile();
  const uint32_t data = 0x100;
  const uint32_t gd3 = Get32(good, 0x14) + 0x14;
  struct Case {
    const char* what;
    void (*damage)(Bytes&, uint32_t data, uint32_t gd3);
    const char* reason;  // a part of the message
  };
  const Case cases[] = {
      {"ident", [](Bytes& b, uint32_t, uint32_t) { b[0] = 'v'; }, "Vgm "},
      {"eof too far", [](Bytes& b, uint32_t, uint32_t) { Set32(b, 4, Get32(b, 4) + 1); },
       "truncated"},
      {"eof short", [](Bytes& b, uint32_t, uint32_t) { b.push_back(0); }, "more bytes"},
      {"version", [](Bytes& b, uint32_t, uint32_t) { Set32(b, 8, 0x1A0); }, "version"},
      {"data offset past the end",
       [](Bytes& b, uint32_t, uint32_t) { Set32(b, 0x34, static_cast<uint32_t>(b.size())); },
       "data offset"},
      {"data offset in the header", [](Bytes& b, uint32_t, uint32_t) { Set32(b, 0x34, 4); },
       "data offset"},
      {"gd3 offset past the end",
       [](Bytes& b, uint32_t, uint32_t) { Set32(b, 0x14, static_cast<uint32_t>(b.size())); },
       "GD3 offset"},
      {"gd3 offset at a command",
       [](Bytes& b, uint32_t data, uint32_t) { Set32(b, 0x14, data - 0x14); }, "GD3"},
      {"gd3 ident", [](Bytes& b, uint32_t, uint32_t gd3) { b[gd3] = 'g'; }, "Gd3"},
      {"gd3 length", [](Bytes& b, uint32_t, uint32_t gd3) { Set32(b, gd3 + 8, 4); }, "GD3"},
      {"loop offset past the end",
       [](Bytes& b, uint32_t, uint32_t) { Set32(b, 0x1C, static_cast<uint32_t>(b.size())); },
       "loop offset"},
      {"loop offset inside a write",
       [](Bytes& b, uint32_t, uint32_t) { Set32(b, 0x1C, Get32(b, 0x1C) + 1); }, "inside"},
      {"loop length", [](Bytes& b, uint32_t, uint32_t) { Set32(b, 0x20, Get32(b, 0x20) + 1); },
       "loop"},
      {"loop length without a loop", [](Bytes& b, uint32_t, uint32_t) { Set32(b, 0x1C, 0); },
       "no loop offset"},
      {"total", [](Bytes& b, uint32_t, uint32_t) { Set32(b, 0x18, Get32(b, 0x18) - 1); },
       "add up to"},
      {"unknown command", [](Bytes& b, uint32_t data, uint32_t) { b[data] = 0x5E; },
       "unknown command 0x5E"},
      {"no end command", [](Bytes& b, uint32_t, uint32_t gd3) { b[gd3 - 1] = 0x70; },
       "end command"},
      {"no chip clock", [](Bytes& b, uint32_t, uint32_t) { Set32(b, 0x50, 0); }, "clock"},
  };
  for (const Case& c : cases) {
    Bytes b = good;
    c.damage(b, data, gd3);
    const std::string error = ErrorOf(b);
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.what << ": " << error;
  }
}

}  // namespace
}  // namespace opl2::vgm
