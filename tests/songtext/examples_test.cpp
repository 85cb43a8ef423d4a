// The example songs assemble without a message and play exactly as their
// golden traces say (opl2tool trace SONG --ticks 2000).
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "tools/run_tool.h"

namespace opl2::test {
namespace {

TEST(Examples, AssembleCleanlyAndMatchTheirGoldenTraces) {
  const std::string examples = std::string(OPL2_TEST_DATA_DIR) + "/../../examples/";
  for (const char* name : {"demo", "minuet", "round"}) {
    const std::string song = "/tmp/opl2-example-" + std::to_string(getpid()) + ".song";
    const ToolResult a = RunCommand(Tool("asm " + examples + name + ".opl2s -o " + song));
    EXPECT_EQ(a.status, 0) << name;
    EXPECT_EQ(a.err, "") << name;
    const ToolResult t = RunCommand(Tool("trace " + song + " --ticks 2000"));
    unlink(song.c_str());
    EXPECT_EQ(t.status, 0) << name;
    const std::string golden =
        ReadWholeFile(std::string(OPL2_TEST_DATA_DIR) + "/golden/" + name + ".trace");
    ASSERT_FALSE(golden.empty()) << name;
    EXPECT_TRUE(t.out == golden) << name << ": the trace differs from tests/data/golden/" << name
                                 << ".trace";
  }
}

}  // namespace
}  // namespace opl2::test
