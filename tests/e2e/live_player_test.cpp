// opl2play's real-time path from outside: SDL's disk driver writes what the
// device plays to a file at the device's pace, a pseudo-terminal types the
// key, tmux runs an interactive shell for background jobs.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "engine/busy_song.h"
#include "player_support.h"

namespace opl2::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const std::string kPlayer = std::string(OPL2_BIN_DIR) + "/opl2play";
constexpr double kRate = 49716.0;

class LivePlayer : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("opl2-live-" + std::to_string(getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    if (!getenv("KEEP")) fs::remove_all(dir_);
  }
  std::string Capture() const { return (dir_ / "out.raw").string(); }
  std::vector<std::string> DiskDevice(const std::string& extra = "") const {
    std::vector<std::string> env = {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + Capture()};
    if (!extra.empty()) env.push_back(extra);
    return env;
  }
  std::string WriteSong(const std::string& name, const Bytes& song) const {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(song.data()),
               static_cast<std::streamsize>(song.size()));
    return path;
  }
  fs::path dir_;
};

// Where `window` (a stretch of the capture) lies in the render, or npos.
size_t Find(const std::vector<int16_t>& render, const int16_t* window, size_t length) {
  const auto it = std::search(render.begin(), render.end(), window, window + length);
  return it == render.end() ? std::string::npos : static_cast<size_t>(it - render.begin());
}

TEST_F(LivePlayer, AKeyIsHeardWithinAFewMillisecondsAndTheSoundEndsAtZero) {
  const std::string song = WriteSong("busy.song", SustainedOverBusyChannels(180));
  const std::vector<int16_t> render = RenderNative(song, (dir_ / "render.wav").string());
  ASSERT_FALSE(render.empty());
  std::vector<double> key_to_sound;
  for (int run = 0; run < 3; ++run) {
    fs::remove(Capture());
    PtyPlayer p = StartOnPty(kPlayer, {song}, DiskDevice());
    ASSERT_TRUE(WaitUntilRaw(p.master));
    CaptureClock clock(Capture());
    const auto until = Clock::now() + milliseconds(2000 + 37 * run);
    while (Clock::now() < until) {
      clock.Poll();
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    const auto pressed = Clock::now();
    Send(p.master, "x");
    int status = -1;
    while (Clock::now() - pressed < std::chrono::seconds(3)) {
      clock.Poll();
      if (waitpid(p.pid, &status, WNOHANG) == p.pid) break;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    close(p.master);
    ASSERT_TRUE(WIFEXITED(status)) << "no exit within 3 s";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const std::vector<int16_t> played = ReadRawSamples(Capture());
    const double at_key = clock.SampleAt(pressed);
    ASSERT_GT(at_key, 0.5 * kRate);

    // The capture is the render up to the key-off: line up the half second
    // before the key with the render and follow it to the first difference.
    const size_t from = static_cast<size_t>(at_key - 0.5 * kRate);
    const size_t length = static_cast<size_t>(0.4 * kRate);
    const size_t in_render = Find(render, played.data() + from, length);
    ASSERT_NE(in_render, std::string::npos)
        << "run " << run << " at key " << at_key << " of " << played.size();
    size_t same = length;
    while (from + same < played.size() && in_render + same < render.size() &&
           played[from + same] == render[in_render + same]) {
      ++same;
    }
    const double heard = static_cast<double>(from + same) - at_key;
    key_to_sound.push_back(1000 * heard / kRate);
    std::printf("key to sound %.1f ms\n", key_to_sound.back());
    EXPECT_GT(heard, -0.012 * kRate) << "the capture left the render before the key";
    EXPECT_LT(heard, 0.050 * kRate);

    // The end: no step on the way to silence, and silence last.
    ASSERT_FALSE(played.empty());
    size_t last = played.size();
    while (last > 0 && played[last - 1] == 0) --last;
    EXPECT_GE(played.size() - last, 512u) << "the device plays silence last";
    ASSERT_GT(last, 300u);
    // The last 5 ms of sound: a fade from the chip's last value, each step
    // under 1/200 of it.
    int step = 0, peak = 0;
    size_t at = 0;
    for (size_t i = last - 239; i < last; ++i) {
      peak = std::max(peak, std::abs(static_cast<int>(played[i - 1])));
      if (std::abs(played[i] - played[i - 1]) > step) {
        step = std::abs(played[i] - played[i - 1]);
        at = i;
      }
    }
    EXPECT_LE(step, peak / 200 + 1)
        << "run " << run << ": " << played[at - 1] << " then " << played[at] << ", " << last - at
        << " samples before the end of the sound";
  }
}

// A device that takes one buffer and then nothing more for 100 s: the song
// waits for it, and the key still ends the run at once.
TEST_F(LivePlayer, AStalledDeviceHoldsNeitherTheTimerNorTheShutdown) {
  std::array<Bytes, kChannelCount> tracks;
  for (int c = 0; c < kChannelCount; ++c) {
    tracks[c] = {0xFC, 0xFF, 0xF6, 0x20, 0x01, 0xDA, 0x20, 0x45, 0x01, 0x0F, 0x01, 0x80};
  }
  const std::string song = WriteSong("fast.song", BuildSong(tracks));
  PtyPlayer p = StartOnPty(kPlayer, {song}, DiskDevice("SDL_DISKAUDIODELAY=100000"));
  ASSERT_TRUE(WaitUntilRaw(p.master));
  std::this_thread::sleep_for(milliseconds(2500));
  const auto pressed = Clock::now();
  Send(p.master, " ");
  const std::optional<int> status = WaitExit(p.pid, std::chrono::seconds(10));
  const double took = std::chrono::duration<double>(Clock::now() - pressed).count();
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(*status, 0);
  EXPECT_LT(took, 1.0);
  EXPECT_TRUE(SameMode(ModeOf(p.master), p.before));
  close(p.master);
}

// Start-up with a device that is slow to start (the player waits up to a
// second for it to pull): a key typed then waits, unechoed, and ends the run.
TEST_F(LivePlayer, AKeyTypedDuringStartUpIsNotEchoed) {
  const std::string song = WriteSong("busy.song", SustainedOverBusyChannels(180));
  PtyPlayer p = StartOnPty(kPlayer, {song}, DiskDevice("SDL_DISKAUDIODELAY=100000"));
  const auto deadline = Clock::now() + milliseconds(500);
  while ((ModeOf(p.master).c_lflag & ECHO) != 0 && Clock::now() < deadline) {
    std::this_thread::sleep_for(milliseconds(1));
  }
  Send(p.master, "q");
  const std::optional<int> status = WaitExit(p.pid, std::chrono::seconds(5));
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(*status, 0);
  EXPECT_EQ(Drain(p.master).find('q'), std::string::npos);
  EXPECT_TRUE(SameMode(ModeOf(p.master), p.before));
  close(p.master);
}

// "opl2play SONG &" from an interactive shell: the job plays (it is not
// stopped for touching the terminal), SIGTERM ends it with status 0, and the
// shell's terminal keeps its mode.
TEST_F(LivePlayer, ABackgroundJobOfAnInteractiveShellPlaysAndEndsOnSigterm) {
  if (RunCommand("command -v tmux").status != 0) GTEST_SKIP() << "tmux is not installed";
  const std::string song = WriteSong("busy.song", SustainedOverBusyChannels(180));
  const std::string d = dir_.string();
  const std::string tmux = "tmux -S '" + d + "/tmux.sock' -f /dev/null ";
  ASSERT_EQ(RunCommand(tmux + "new-session -d -x 120 -y 30 \"env -i PATH=/usr/bin:/bin HOME='" + d +
                       "' TERM=xterm bash --norc --noprofile -i\"")
                .status,
            0);
  auto type = [&](const std::string& line) {
    RunCommand(tmux + "send-keys -l '" + line + "'");
    RunCommand(tmux + "send-keys Enter");
  };
  auto wait_for_file = [&](const std::string& name) {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!fs::exists(dir_ / name) || fs::file_size(dir_ / name) == 0) {
      if (Clock::now() > deadline) return false;
      std::this_thread::sleep_for(milliseconds(20));
    }
    std::this_thread::sleep_for(milliseconds(50));
    return true;
  };
  type("stty -g >" + d + "/before; SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=" + Capture() + " " +
       kPlayer + " " + song + " & echo $! >" + d + "/pid");
  ASSERT_TRUE(wait_for_file("pid"));
  const pid_t pid = std::stoi(ReadWholeFile((dir_ / "pid").string()));
  std::this_thread::sleep_for(milliseconds(2000));

  const std::string stat = ReadWholeFile("/proc/" + std::to_string(pid) + "/stat");
  const size_t paren = stat.rfind(')');
  ASSERT_NE(paren, std::string::npos);
  EXPECT_NE(stat[paren + 2], 'T') << "the job was stopped";
  int peak = 0;
  for (int16_t s : ReadRawSamples(Capture())) peak = std::max(peak, std::abs(static_cast<int>(s)));
  EXPECT_GT(peak, 1000) << "the job does not play";

  kill(pid, SIGTERM);
  type("wait " + std::to_string(pid) + "; echo $? >" + d + "/status; stty -g >" + d + "/after");
  ASSERT_TRUE(wait_for_file("after"));
  EXPECT_EQ(ReadWholeFile((dir_ / "status").string()), "0\n");
  EXPECT_EQ(ReadWholeFile((dir_ / "after").string()), ReadWholeFile((dir_ / "before").string()));
  RunCommand(tmux + "kill-server");
}

}  // namespace
}  // namespace opl2::test
