// The .regs parser (strict, with line numbers in its errors) and the
// latency-free renderer.
#include "chip/reg_stream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace opl2 {
namespace {

TEST(RegStreamParse, AcceptsCommentsBlanksAndEitherCase) {
  RegStream s;
  std::string error;
  ASSERT_TRUE(
      ParseRegStream("# header\n\n   w a0 Ff\n\ts 12\r\n  # indented comment\n  \nw B0 20\n"
                     "s 0\ns 4294967295",
                     &s, &error))
      << error;
  ASSERT_EQ(s.commands.size(), 5u);
  EXPECT_EQ(s.commands[0].kind, RegCommand::Kind::kWrite);
  EXPECT_EQ(s.commands[0].reg, 0xA0);
  EXPECT_EQ(s.commands[0].value, 0xFF);
  EXPECT_EQ(s.commands[1].kind, RegCommand::Kind::kAdvance);
  EXPECT_EQ(s.commands[1].samples, 12u);
  EXPECT_EQ(s.commands[2].reg, 0xB0);
  EXPECT_EQ(s.commands[2].value, 0x20);
  EXPECT_EQ(s.total_samples, uint64_t{12} + 4294967295u);
}

TEST(RegStreamParse, RejectsMalformedLinesWithTheirNumber) {
  const std::pair<const char*, const char*> bad[] = {
      {"x 12", "unknown command"},
      {"w 1 20", "bad register"},
      {"w 123 00", "bad register"},
      {"w GG 00", "bad register"},
      {"w 20 0x", "bad value"},
      {"w 20", "expected 'w RR VV'"},
      {"w 20 00 00", "expected"},
      {"s -1", "bad sample count"},
      {"s +3", "bad sample count"},
      {"s", "expected 's N'"},
      {"s 1 2", "expected"},
      {"s 12a", "bad sample count"},
      {"s 4294967296", "bad sample count"},
      {"ws 20 00", "unknown command"},
      {"w 20 00 # note", "expected"},
  };
  for (const auto& [line, why] : bad) {
    RegStream s;
    std::string error;
    const std::string text = "# ok\nw 20 01\n\ns 5\n" + std::string(line) + "\ns 1\n";
    EXPECT_FALSE(ParseRegStream(text, &s, &error)) << line;
    EXPECT_EQ(error.rfind("line 5: ", 0), 0u) << line << " -> " << error;
    EXPECT_NE(error.find(why), std::string::npos) << line << " -> " << error;
  }
}

TEST(RegStreamRender, RemovesTheChipLatencyAndKeepsTheLength) {
  const std::string text =
      "w 01 20\nw 2B 21\nw 4B 00\nw 6B F0\nw 8B 0F\ns 3\nw A3 44\nw B3 32\ns 40\n";
  RegStream s;
  std::string error;
  ASSERT_TRUE(ParseRegStream(text, &s, &error)) << error;
  const std::vector<int16_t> rendered = RenderRegStream(s);
  ASSERT_EQ(rendered.size(), 43u);

  // Driven by hand, the chip's output is the same one sample later.
  Chip chip;
  for (auto [r, v] :
       {std::pair{0x01, 0x20}, {0x2B, 0x21}, {0x4B, 0x00}, {0x6B, 0xF0}, {0x8B, 0x0F}}) {
    chip.Write(static_cast<uint8_t>(r), static_cast<uint8_t>(v));
  }
  std::vector<int16_t> direct(44);
  chip.Generate(direct.data(), 3);
  chip.Write(0xA3, 0x44);
  chip.Write(0xB3, 0x32);
  chip.Generate(direct.data() + 3, 41);
  EXPECT_EQ(direct[0], 0);
  EXPECT_EQ(std::vector<int16_t>(direct.begin() + 1, direct.end()), rendered);
  // The key-on reaches the carrier at sample 3, which plays from sample 4.
  EXPECT_EQ(rendered[3], 0);
  EXPECT_GT(rendered[4], 200);
}

TEST(RegStreamRender, HandlesEmptyAndSampleFreeStreams) {
  RegStream s;
  std::string error;
  ASSERT_TRUE(ParseRegStream("w B0 20\n", &s, &error));
  EXPECT_TRUE(RenderRegStream(s).empty());
  ASSERT_TRUE(ParseRegStream("s 1\n", &s, &error));
  EXPECT_EQ(RenderRegStream(s), std::vector<int16_t>{0});
}

}  // namespace
}  // namespace opl2
