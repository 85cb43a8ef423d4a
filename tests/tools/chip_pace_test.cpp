// opl2tool chip --pace: the writes of one instant spaced as the bus spaces
// them, 104 master clocks (1.44 samples of 72 clocks) apart.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "run_tool.h"

namespace opl2::test {
namespace {

std::string Temp(const std::string& name, const std::string& text) {
  const std::string path = "/tmp/opl2-pace-" + std::to_string(getpid()) + "-" + name;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
  return path;
}

TEST(ChipPace, WritesOfOneInstantFollowOneAnotherAsOnTheBus) {
  // A note's six writes at once, then 2,000 samples.
  const std::string at_once =
      Temp("once.regs", "w 20 01\nw 40 10\nw 60 f0\nw 80 77\nw a0 98\nw b0 31\ns 2000\n");
  // Write k at clock 104 k acts before sample floor(104 k / 72): 0, 1, 2,
  // 4, 5, 7.
  const std::string by_hand =
      Temp("hand.regs",
           "w 20 01\ns 1\nw 40 10\ns 1\nw 60 f0\ns 2\nw 80 77\ns 1\nw a0 98\ns 2\nw b0 31\n"
           "s 1993\n");
  const ToolResult paced = RunCommand(Tool("chip --pace " + at_once + " -o -"));
  const ToolResult hand = RunCommand(Tool("chip " + by_hand + " -o -"));
  const ToolResult unpaced = RunCommand(Tool("chip " + at_once + " -o -"));
  unlink(at_once.c_str());
  unlink(by_hand.c_str());
  ASSERT_EQ(paced.status, 0) << paced.err;
  EXPECT_EQ(paced.out.size(), 4000u);
  EXPECT_EQ(paced.out, hand.out);
  EXPECT_NE(paced.out, unpaced.out);  // the spacing is heard
}

}  // namespace
}  // namespace opl2::test
