// opl2play where the machine or the user does not cooperate: no sound
// device, no timer library, standard input that can never give a key, stop
// signals. Never a hang (every wait has a deadline), never a busy loop (CPU
// time while waiting), never a terminal left in raw mode.
#include <gtest/gtest.h>

#include <filesystem>

#include "process_support.h"

namespace opl2::test {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::seconds;

const std::string kPlayer = std::string(OPL2_BIN_DIR) + "/opl2play";
// SDL finds no such driver: the player has no sound device at all.
const std::string kNoDevice = "SDL_AUDIODRIVER=nowhere";

class PlayerEnvironment : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("opl2-env-" + std::to_string(getpid()));
    fs::create_directories(dir_);
    song_ = WriteBytes((dir_ / "tune.song").string(), LoopingTune());
  }
  void TearDown() override { fs::remove_all(dir_); }

  // A sound device that is a file: the player runs its full audio path.
  std::vector<std::string> DiskDevice() const {
    return {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + (dir_ / "out.raw").string()};
  }

  fs::path dir_;
  std::string song_;
};

TEST_F(PlayerEnvironment, WithoutASoundDeviceItSaysSoOnceAndAKeyEndsTheSilentRun) {
  Child c = Spawn(kPlayer, {song_}, {kNoDevice}, Input::kTerminal);
  ASSERT_GT(c.pid, 0);
  ASSERT_TRUE(WaitUntilRaw(c.master));
  std::this_thread::sleep_for(milliseconds(300));
  Send(c.master, "x");
  const std::optional<int> status = WaitExit(c.pid, seconds(5));
  ASSERT_TRUE(status.has_value()) << "no exit after the key";
  EXPECT_EQ(*status, 0);
  EXPECT_TRUE(SameMode(ModeOf(c.master), c.before));
  const std::string err = c.Err();
  EXPECT_EQ(err.rfind("opl2play: no audio device (", 0), 0u) << err;
  EXPECT_EQ(CountLines(err), 1) << err;
  EXPECT_EQ(c.Out(), "");
  Cleanup(c);
}

TEST_F(PlayerEnvironment, WithoutTheTimerLibraryItWaitsQuietlyAndAKeyEndsItWithStatus0) {
  // A copy of the player alone in a folder: the library beside it is missing.
  fs::create_directories(dir_ / "alone");
  const fs::path lonely = dir_ / "alone" / "opl2play";
  fs::copy_file(kPlayer, lonely);
  Child c = Spawn(lonely.string(), {song_}, DiskDevice(), Input::kTerminal);
  ASSERT_TRUE(WaitUntilRaw(c.master));
  std::this_thread::sleep_for(milliseconds(500));
  Send(c.master, "\r");
  const std::optional<int> status = WaitExit(c.pid, seconds(5));
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(*status, 0);
  EXPECT_TRUE(SameMode(ModeOf(c.master), c.before));
  EXPECT_EQ(c.Out(), "");
  EXPECT_EQ(c.Err(), "");
  Cleanup(c);
}

// /dev/null, a pipe whose writer has gone and a pipe that stays silent: no
// key can come (or none comes), so the song plays until a signal, and the
// wait costs next to no CPU time.
TEST_F(PlayerEnvironment, InputThatGivesNoKeyPlaysUntilASignalWithoutSpinning) {
  struct Case {
    const char* what;
    Input input;
    bool close_writer;
  } cases[] = {{"/dev/null", Input::kDevNull, false},
               {"closed pipe", Input::kPipe, true},
               {"silent pipe", Input::kPipe, false}};
  for (const Case& k : cases) {
    Child c = Spawn(kPlayer, {song_}, {kNoDevice}, k.input);
    ASSERT_GT(c.pid, 0) << k.what;
    if (k.close_writer) {
      close(c.pipe_write);
      c.pipe_write = -1;
    }
    std::this_thread::sleep_for(milliseconds(700));
    const double cpu_before = CpuSeconds(c.pid);
    std::this_thread::sleep_for(milliseconds(1500));
    const double cpu_used = CpuSeconds(c.pid) - cpu_before;
    ASSERT_GE(cpu_before, 0) << k.what << ": the player is gone";
    // A busy wait would use the whole 1.5 s; the ticks of a quiet run use a
    // few milliseconds.
    EXPECT_LT(cpu_used, 0.3) << k.what;
    kill(c.pid, SIGTERM);
    const std::optional<int> status = WaitExit(c.pid, seconds(5));
    ASSERT_TRUE(status.has_value()) << k.what;
    EXPECT_EQ(*status, 0) << k.what;
    EXPECT_EQ(c.Out(), "") << k.what;
    Cleanup(c);
  }
}

TEST_F(PlayerEnvironment, AKeyFromAPipeEndsTheRun) {
  Child c = Spawn(kPlayer, {song_}, {kNoDevice}, Input::kPipe);
  std::this_thread::sleep_for(milliseconds(500));
  ASSERT_EQ(write(c.pipe_write, "q", 1), 1);
  const std::optional<int> status = WaitExit(c.pid, seconds(5));
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(*status, 0);
  Cleanup(c);
}

TEST_F(PlayerEnvironment, StopSignalsEndPlaybackWithStatus0AndTheTerminalAsItWas) {
  struct Case {
    int sig;
    int count;  // a second signal ends the process at once
  } cases[] = {{SIGINT, 1}, {SIGTERM, 1}, {SIGHUP, 1}, {SIGTERM, 2}, {SIGINT, 2}};
  for (const Case& k : cases) {
    Child c = Spawn(kPlayer, {song_}, DiskDevice(), Input::kTerminal);
    ASSERT_TRUE(WaitUntilRaw(c.master)) << k.sig;
    std::this_thread::sleep_for(milliseconds(300));
    for (int i = 0; i < k.count; ++i) kill(c.pid, k.sig);
    const std::optional<int> status = WaitExit(c.pid, seconds(5));
    ASSERT_TRUE(status.has_value()) << k.sig;
    EXPECT_EQ(*status, 0) << k.sig << " x" << k.count;
    EXPECT_TRUE(SameMode(ModeOf(c.master), c.before)) << k.sig << " x" << k.count;
    EXPECT_EQ(c.Err(), "");
    Cleanup(c);
  }
}

}  // namespace
}  // namespace opl2::test
