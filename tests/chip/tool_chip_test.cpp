// opl2tool chip end to end: file in, raw samples out, errors with line
// numbers. Needs the opl2tool binary of the same build.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "chip/chip_path.h"
#include "chip/chip_test_util.h"

namespace opl2 {
namespace {

std::string Tool() {
  return std::string(OPL2_BIN_DIR) + "/opl2tool";
}

struct Result {
  int status = -1;
  std::string err;
};

// A temporary file of this process: the chip tests also run on every path at
// once, in programs of their own.
std::string TempFile(const std::string& name) {
  return ::testing::TempDir() + std::to_string(getpid()) + "_" + name;
}

// Runs a shell command line, capturing standard error.
Result Shell(const std::string& cmd) {
  const std::string err_path = TempFile("chip_tool_err.txt");
  Result r;
  const int raw = std::system((cmd + " 2>" + err_path).c_str());
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.err = testing::ReadFile(err_path);
  return r;
}

class ToolChip : public ::testing::Test {
 protected:
  void SetUp() override {
    if (access(Tool().c_str(), X_OK) != 0) GTEST_SKIP() << "opl2tool not built";
  }
  std::string Temp(const std::string& name) { return TempFile(name); }
};

TEST_F(ToolChip, WritesTheRenderAsLittleEndianSamples) {
  const std::string regs = testing::ReferenceDir() + "/s09_all9_chords.regs";
  const std::string out = Temp("chip_tool_out.s16");
  const Result r = Shell(Tool() + " chip " + regs + " -o " + out);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<int16_t> ours = RenderRegStream(testing::LoadStream(regs));
  EXPECT_EQ(testing::ReadS16(out), ours);
  EXPECT_EQ(testing::ReadFile(out).size(), 2 * ours.size());
}

TEST_F(ToolChip, ForcedPathsRenderTheSameAndABadNameIsReportedOnce) {
  const std::string regs = testing::ReferenceDir() + "/s09_all9_chords.regs";
  const std::vector<int16_t> ours = RenderRegStream(testing::LoadStream(regs));
  for (const char* name : {"scalar", "sse41", "avx2", "simd128", "avx512", "Scalar", ""}) {
    ChipPath path;
    const bool runs = ParseChipPath(name, &path) && ChipPathSupported(path);
    const std::string out = Temp("chip_tool_path.s16");
    const Result r = Shell("OPL2_CHIP_PATH='" + std::string(name) + "' " + Tool() + " chip " +
                           regs + " -o " + out);
    ASSERT_EQ(r.status, 0) << name << ": " << r.err;
    EXPECT_EQ(testing::ReadS16(out), ours) << name;
    if (runs || *name == '\0') {
      EXPECT_EQ(r.err, "") << name;
    } else {
      // One line naming the value, and the path taken instead.
      EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
      EXPECT_NE(r.err.find("OPL2_CHIP_PATH=" + std::string(name)), std::string::npos) << r.err;
      const ChipPath fastest = SupportedChipPaths().back();
      EXPECT_NE(r.err.find(std::string("using ") + ChipPathName(fastest)), std::string::npos)
          << r.err;
    }
  }
}

TEST_F(ToolChip, ReportsBadInputAndUsage) {
  const std::string bad = Temp("chip_tool_bad.regs");
  std::ofstream(bad) << "# fine\nw 20 01\ns 3\nw 2 01\n";
  Result r = Shell(Tool() + " chip " + bad + " -o " + Temp("chip_tool_bad.s16"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("line 4:"), std::string::npos) << r.err;

  r = Shell(Tool() + " chip " + Temp("no_such_stream.regs") + " -o " + Temp("x.s16"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot read"), std::string::npos) << r.err;

  r = Shell(Tool() + " chip " + bad);
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("-o"), std::string::npos) << r.err;

  r = Shell(Tool() + " chip --frobnicate");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("unknown option"), std::string::npos) << r.err;

  EXPECT_EQ(Shell(Tool() + " chip --help >/dev/null").status, 0);
}

}  // namespace
}  // namespace opl2
