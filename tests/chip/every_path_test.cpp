// The whole chip suite on every code path the machine runs: this program runs
// itself again for each path other than its own, with OPL2_CHIP_PATH naming
// it, and every test there must pass.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "chip/chip_path.h"
#include "chip/chip_test_util.h"

namespace opl2 {
namespace {

TEST(EveryPath, TheChipSuitePassesOnEachOtherPath) {
  char self[4096];
  const ssize_t len = readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(len, 0);
  self[len] = '\0';
  int runs = 0;
  for (ChipPath path : SupportedChipPaths()) {
    if (path == DefaultChipPath()) continue;
    const std::string log = ::testing::TempDir() + std::to_string(getpid()) + "_every_path.log";
    // The random-stream test already compares every path itself.
    const std::string cmd = std::string("OPL2_CHIP_PATH=") + ChipPathName(path) + " '" + self +
                            "' --gtest_filter=-EveryPath.*:PathEquivalence.* >" + log + " 2>&1";
    const int raw = std::system(cmd.c_str());
    const std::string out = testing::ReadFile(log);
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0)
        << ChipPathName(path) << ":\n"
        << out.substr(out.size() > 6000 ? out.size() - 6000 : 0);
    EXPECT_NE(out.find("[  PASSED  ]"), std::string::npos) << out;
    ++runs;
  }
  EXPECT_EQ(runs + 1, static_cast<int>(SupportedChipPaths().size()));
}

}  // namespace
}  // namespace opl2
