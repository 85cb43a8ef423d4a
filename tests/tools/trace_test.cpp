// opl2tool trace: the line format other checks compare byte for byte.
#include <gtest/gtest.h>

#include "engine/harness.h"
#include "run_tool.h"

namespace opl2::test {
namespace {

const std::string kSongs = std::string(OPL2_TEST_DATA_DIR) + "/songs/";
const std::string kGolden = std::string(OPL2_TEST_DATA_DIR) + "/golden/";

std::string Hex(int v) {
  char buf[4];
  std::snprintf(buf, sizeof buf, "%02x", v);
  return buf;
}

// The example song's trace, written out from what the song says it does.
std::string ExpectedExampleTrace(int ticks) {
  std::string t;
  for (int r = 0; r <= 0xF5; ++r) t += "0 w " + Hex(r) + " 00\n";
  const int patch[9] = {0x01, 0x01, 0x10, 0x00, 0xF0, 0xF0, 0x77, 0x77, 0x00};
  for (int c = 0; c < 9; ++c) {
    const int mod = (c / 3) * 8 + c % 3;
    const int regs[9] = {0x20 + mod, 0x23 + mod, 0x40 + mod, 0x43 + mod, 0x60 + mod,
                         0x63 + mod, 0x80 + mod, 0x83 + mod, 0xC0 + c};
    for (int i = 0; i < 9; ++i) t += "0 w " + Hex(regs[i]) + " " + Hex(patch[i]) + "\n";
  }
  t += "0 tb 180\n";
  for (int k = 1; k <= ticks; ++k) {
    const std::string p = std::to_string(k) + " ";
    if (k == 16) {
      t += p + "w b0 00\n";  // instrument 1: key off, then the patch
      for (int i = 0; i < 9; ++i) {
        const int regs[9] = {0x20, 0x23, 0x40, 0x43, 0x60, 0x63, 0x80, 0x83, 0xC0};
        t += p + "w " + Hex(regs[i]) + " " + Hex(patch[i]) + "\n";
      }
      t += p + "w b0 11\n" + p + "w a0 59\n" + p + "w b0 11\n" + p + "w b0 31\n";
      for (int c = 1; c < 9; ++c) t += p + "w b" + std::to_string(c) + " 00\n";
    }
    if (k == 32) t += p + "w b0 11\n";
    t += p + "tb 180\n";
  }
  return t;
}

TEST(Trace, ExampleSongIsExact) {
  const ToolResult r = RunCommand(Tool("trace " + kSongs + "example51.song --ticks 100"));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, ExpectedExampleTrace(100));
  const ToolResult d = RunCommand(Tool("trace " + kSongs + "example51.song"));
  EXPECT_EQ(d.out, ExpectedExampleTrace(2000));
}

TEST(Trace, EveryEventSongMatchesItsGoldenTrace) {
  for (const char* name : {"every_event", "damaged"}) {
    const ToolResult r = RunCommand(Tool("trace " + kSongs + name + ".song --ticks 400"));
    EXPECT_EQ(r.status, 0) << name;
    EXPECT_EQ(r.out, ReadWholeFile(kGolden + name + ".trace")) << name;
  }
}

TEST(Trace, UnreadableSongsGiveThePlayersMessage) {
  for (const std::string& name : {std::string("/nonexistent/x.song"), std::string("/tmp")}) {
    const ToolResult r = RunCommand(Tool("trace '" + name + "'"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Can't open file " + name + "\n");
  }
}

TEST(Trace, BadArgumentsAreExplained) {
  for (const char* args :
       {"trace", "trace a b", "trace x --ticks", "trace x --ticks -3", "trace x --ticks 12x"}) {
    const ToolResult r = RunCommand(Tool(args));
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_NE(r.err, "") << args;
    EXPECT_EQ(r.out, "") << args;
  }
  EXPECT_EQ(RunCommand(Tool("trace --help")).status, 0);
}

}  // namespace
}  // namespace opl2::test
