// opl2play end to end: names, messages and exit codes; playing through a
// file-backed sound device on a pseudo-terminal; shutdown by key and signal.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "engine/harness.h"
#include "player_support.h"

namespace opl2::test {
namespace {

namespace fs = std::filesystem;

const std::string kPlayer = std::string(OPL2_BIN_DIR) + "/opl2play";

class PlayerNames : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("opl2-play-" + std::to_string(getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  // Runs the player from dir_ with the given argument text (already quoted
  // for the shell), key input from /dev/null.
  ToolResult Play(const std::string& args) {
    return RunCommand("cd '" + dir_.string() + "' && SDL_AUDIODRIVER=none timeout 10 " + kPlayer +
                      " " + args);
  }
  fs::path dir_;
};

TEST_F(PlayerNames, MissingNamesAreReportedOnStdoutWithStatus0) {
  struct Case {
    const char* args;
    const char* out;
  } cases[] = {
      {"", "does not exist, mister.\n"},
      {"nosuch.song", "nosuch.songdoes not exist, mister.\n"},
      {"'\"quoted.song\"'", "\"quoted.song\"does not exist, mister.\n"},
      {"two words", "two wordsdoes not exist, mister.\n"},
      {"'  lead.song'", "lead.songdoes not exist, mister.\n"},
      {"'trail.song  '", "trail.song  does not exist, mister.\n"},
      {"'*.nomatch'", "*.nomatchdoes not exist, mister.\n"},
      {"\"$(printf 'x\\024')\"", "does not exist, mister.\n"},
  };
  for (const Case& c : cases) {
    const ToolResult r = Play(c.args);
    EXPECT_EQ(r.status, 0) << c.args;
    EXPECT_EQ(r.out, c.out) << c.args;
    EXPECT_EQ(r.err, "") << c.args;
  }
  // A 5,000-character name is refused whole, not cut.
  const std::string longname(5000, 'n');
  const ToolResult r = Play(longname);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, longname + "does not exist, mister.\n");
}

TEST_F(PlayerNames, NamesThatExistButCannotBeOpenedEndWithStatus1) {
  fs::create_directory(dir_ / "adir");
  std::ofstream(dir_ / "real.song") << "x";
  for (const char* args : {"adir", "'real.s*'", "'real.so?g'"}) {
    const ToolResult r = Play(args);
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_EQ(r.out, "") << args;
    std::string name = args;
    if (name.front() == '\'') name = name.substr(1, name.size() - 2);
    EXPECT_EQ(r.err, "Can't open file " + name + "\n") << args;
  }
  // A file its reader may not read (root reads everything: run as nobody).
  std::ofstream(dir_ / "secret.song") << "x";
  fs::permissions(dir_ / "secret.song", fs::perms::none);
  const std::string drop =
      getuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups --inh-caps=-all " : "";
  const ToolResult r = RunCommand("cd '" + dir_.string() + "' && SDL_AUDIODRIVER=none timeout 10 " +
                                  drop + kPlayer + " secret.song");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "Can't open file secret.song\n");
}

std::string WriteSong(const fs::path& path, const Bytes& song) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(song.data()), static_cast<std::streamsize>(song.size()));
  return path.string();
}

TEST_F(PlayerNames, ANameWithBlanksAndAReadOnlySongPlay) {
  const std::string song = WriteSong(dir_ / "a song.bin", LoopingTune());
  chmod(song.c_str(), 0444);
  // Standard input /dev/null: the first byte never comes, so the player
  // plays until the signal.
  const std::string cmd = "cd '" + dir_.string() + "' && (SDL_AUDIODRIVER=none " + kPlayer +
                          " a song.bin </dev/null & p=$!; sleep 1; kill -TERM $p; wait $p)";
  const ToolResult r = RunCommand(cmd);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
}

TEST_F(PlayerNames, RefusedHardwarePortsEndWithOneLineAndStatus1) {
  const std::string song = WriteSong(dir_ / "tune.song", LoopingTune());
  // Without root and CAP_SYS_RAWIO the kernel refuses the ports.
  const std::string drop =
      getuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups --inh-caps=-all " : "";
  const ToolResult r =
      RunCommand("OPL2PLAY_PORT=hardware timeout 10 " + drop + kPlayer + " " + song);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.rfind("opl2play: no access to the OPL2 ports 0x388-0x389", 0), 0u) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
}

// With the real chip the start-up resets it before the song is read, so a
// song that cannot be opened is refused after the ports are taken: ports
// that are refused speak first.
TEST_F(PlayerNames, TheRealChipsPortsAreTakenBeforeASongIsRefused) {
  fs::create_directory(dir_ / "adir");
  const std::string drop =
      getuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups --inh-caps=-all " : "";
  const ToolResult r =
      RunCommand("cd '" + dir_.string() + "' && OPL2PLAY_PORT=hardware timeout 10 " + drop +
                 kPlayer + " adir");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("opl2play: no access to the OPL2 ports 0x388-0x389", 0), 0u) << r.err;
  // Without the real chip nothing is reset: the song is refused at once.
  const ToolResult emulated = Play("adir");
  EXPECT_EQ(emulated.status, 1);
  EXPECT_EQ(emulated.err, "Can't open file adir\n");
}

class PlayerOnPty : public PlayerNames {
 protected:
  std::vector<std::string> Env() const {
    return {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + (dir_ / "out.raw").string()};
  }
};

TEST_F(PlayerOnPty, PlaysUntilAKeyAndSoundsLikeTheRender) {
  const std::string song = WriteSong(dir_ / "tune.song", LoopingTune());
  PtyPlayer p = StartOnPty(kPlayer, {song}, Env());
  ASSERT_GT(p.pid, 0);
  ASSERT_TRUE(WaitUntilRaw(p.master));
  std::this_thread::sleep_for(std::chrono::seconds(3));
  const auto pressed = std::chrono::steady_clock::now();
  Send(p.master, "x");
  const std::optional<int> status = WaitExit(p.pid, std::chrono::seconds(5));
  const auto took = std::chrono::steady_clock::now() - pressed;
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(*status, 0);
  EXPECT_LT(took, std::chrono::seconds(1));
  EXPECT_TRUE(SameMode(ModeOf(p.master), p.before));
  close(p.master);

  const std::vector<int16_t> played = ReadRawSamples((dir_ / "out.raw").string());
  const std::vector<int16_t> rendered = RenderNative(song, (dir_ / "render.wav").string());
  ASSERT_FALSE(rendered.empty());

  int peak = 0;
  for (int16_t s : played) peak = std::max(peak, std::abs(static_cast<int>(s)));
  EXPECT_GT(peak, 1000);
  const WindowMatch m = CompareWindows(played, rendered);
  std::printf("played %.2f s; identical 100 ms windows: %d of %d\n",
              static_cast<double>(played.size()) / 49716.0, m.identical, m.compared);
  EXPECT_GE(m.compared, 20);
  // The device plays the render itself; only a re-anchor of the time line
  // (a late timer) may shift a window.
  EXPECT_GE(m.identical * 10, m.compared * 9);
}

TEST_F(PlayerOnPty, SignalsRunTheSameShutdown) {
  const std::string song = WriteSong(dir_ / "tune.song", LoopingTune());
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    PtyPlayer p = StartOnPty(kPlayer, {song}, Env());
    ASSERT_TRUE(WaitUntilRaw(p.master));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    kill(p.pid, sig);
    const std::optional<int> status = WaitExit(p.pid, std::chrono::seconds(3));
    ASSERT_TRUE(status.has_value()) << sig;
    EXPECT_EQ(*status, 0) << sig;
    EXPECT_TRUE(SameMode(ModeOf(p.master), p.before)) << sig;
    close(p.master);
  }
}

TEST_F(PlayerOnPty, WithoutTheTimerLibraryItWaitsSilentlyForTheKey) {
  // A copy of the player with no timer library beside it.
  const fs::path lonely = dir_ / "opl2play";
  fs::copy_file(kPlayer, lonely);
  const std::string song = WriteSong(dir_ / "tune.song", LoopingTune());
  PtyPlayer p = StartOnPty(lonely.string(), {song}, Env());
  ASSERT_TRUE(WaitUntilRaw(p.master));
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  Send(p.master, "\r");
  const std::optional<int> status = WaitExit(p.pid, std::chrono::seconds(3));
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(*status, 0);
  const std::string printed = Drain(p.master);
  EXPECT_EQ(printed.find_first_not_of("\r\n"), std::string::npos) << printed;
  close(p.master);
  int peak = 0;
  for (int16_t s : ReadRawSamples((dir_ / "out.raw").string())) {
    peak = std::max(peak, std::abs(static_cast<int>(s)));
  }
  EXPECT_EQ(peak, 0);
}

}  // namespace
}  // namespace opl2::test
