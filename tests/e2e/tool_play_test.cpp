// `opl2tool play` from outside: an interactive shell in tmux types the
// command and the keys, SDL's disk driver writes what the device plays to a
// file, and the capture is lined up with the library's own output.
#include <gtest/gtest.h>
#include <opl2play/opl2play.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "player_support.h"

namespace opl2::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr double kRate = OPL2_NATIVE_RATE;
constexpr size_t kNone = std::string::npos;

std::string Example(const std::string& name) {
  return std::string(OPL2_BIN_DIR) + "/../examples/" + name + ".song";
}

// A shell in a tmux terminal of its own, typed into.
class TmuxShell {
 public:
  explicit TmuxShell(const fs::path& dir)
      : dir_(dir), tmux_("tmux -S '" + (dir / "tmux.sock").string() + "' -f /dev/null ") {
    started_ = RunCommand(tmux_ + "new-session -d -x 100 -y 30 \"env -i PATH=/usr/bin:/bin HOME='" +
                          dir.string() + "' TERM=xterm bash --norc --noprofile -i\"")
                   .status == 0;
  }
  ~TmuxShell() { RunCommand(tmux_ + "kill-server"); }
  bool started() const { return started_; }
  void Type(const std::string& line) {
    RunCommand(tmux_ + "send-keys -l '" + line + "'");
    RunCommand(tmux_ + "send-keys Enter");
  }
  void Key(const std::string& key) { RunCommand(tmux_ + "send-keys " + key); }
  std::string Screen() { return RunCommand(tmux_ + "capture-pane -p").out; }
  // Waits for a file the shell writes; its contents, or "" after 40 s.
  std::string WaitFor(const std::string& name) {
    const auto deadline = Clock::now() + std::chrono::seconds(40);
    while (!fs::exists(dir_ / name) || fs::file_size(dir_ / name) == 0) {
      if (Clock::now() > deadline) return "";
      std::this_thread::sleep_for(milliseconds(20));
    }
    std::this_thread::sleep_for(milliseconds(50));
    return ReadWholeFile((dir_ / name).string());
  }

 private:
  fs::path dir_;
  std::string tmux_;
  bool started_ = false;
};

class ToolPlay : public ::testing::Test {
 protected:
  void SetUp() override {
    if (RunCommand("command -v tmux").status != 0) GTEST_SKIP() << "tmux is not installed";
    dir_ = fs::temp_directory_path() / ("opl2-toolplay-" + std::to_string(getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    if (!getenv("KEEP") && !dir_.empty()) fs::remove_all(dir_);
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  // The command line that saves the terminal's mode, plays on the disk
  // device, then saves the status and the mode again.
  std::string PlayLine(const std::string& args) const {
    return "stty -g >" + Path("before") +
           "; SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=" + Path("out.raw") + " " + OPL2_BIN_DIR +
           "/opl2tool play " + args + "; echo $? >" + Path("status") + "; stty -g >" +
           Path("after");
  }
  fs::path dir_;
};

// The library's output of a song at the chip's rate, with channel `muted`
// left out (-1: none).
std::vector<int16_t> LibraryRead(const std::string& path, int loops, double fade, int muted,
                                 double seconds) {
  const std::string bytes = ReadWholeFile(path);
  opl2_settings s{};
  opl2_default_settings(&s);
  s.sample_rate = 0;
  s.loops = loops;
  s.fade_seconds = fade;
  opl2_song* song = opl2_open(bytes.data(), bytes.size(), &s, nullptr, 0);
  if (song == nullptr) return {};
  if (muted >= 0) opl2_mute_channel(song, muted, 1);
  std::vector<int16_t> out(static_cast<size_t>(seconds * kRate));
  out.resize(opl2_read_s16(song, out.data(), out.size()));
  opl2_close(song);
  return out;
}

// Where the capture's stretch [at, at + length) lies in `reference`.
size_t Locate(const std::vector<int16_t>& reference, const std::vector<int16_t>& capture, size_t at,
              size_t length) {
  if (at + length > capture.size()) return kNone;
  const auto it = std::search(reference.begin(), reference.end(), capture.begin() + at,
                              capture.begin() + at + length);
  return it == reference.end() ? kNone : static_cast<size_t>(it - reference.begin());
}

// From capture[at] == reference[at + shift] on: the first index where the
// two part.
size_t Follow(const std::vector<int16_t>& reference, const std::vector<int16_t>& capture, size_t at,
              size_t shift) {
  while (at < capture.size() && at + shift < reference.size() &&
         capture[at] == reference[at + shift]) {
    ++at;
  }
  return at;
}

std::string Elapsed(const std::string& screen) {
  const size_t slash = screen.find(" / ");
  return slash == kNone || slash < 5 ? "" : screen.substr(slash - 5, 5);
}

// Played to its end untouched, a song sounds exactly as the renderer writes
// it with the same loops and fade; the list's end exits with 0 and leaves
// the terminal as it was.
TEST_F(ToolPlay, AnUntouchedPlayIsTheRenderAndTheEndRestoresTheTerminal) {
  const std::string song = Path("tune.song");
  const Bytes tune = LoopingTune();
  std::ofstream(song, std::ios::binary)
      .write(reinterpret_cast<const char*>(tune.data()), static_cast<std::streamsize>(tune.size()));
  ASSERT_EQ(RunCommand(Tool("render " + song + " -o " + Path("render.wav") +
                            " --rate native --loops 1 --fade 1"))
                .status,
            0);
  SF_INFO info{};
  SNDFILE* f = sf_open(Path("render.wav").c_str(), SFM_READ, &info);
  ASSERT_NE(f, nullptr);
  std::vector<int16_t> render(static_cast<size_t>(info.frames));
  sf_readf_short(f, render.data(), info.frames);
  sf_close(f);
  ASSERT_LT(render.size(), 12 * kRate) << "a shorter song keeps this test short";

  TmuxShell shell(dir_);
  ASSERT_TRUE(shell.started());
  shell.Type(PlayLine("--loops 1 --fade 1 " + song));
  std::this_thread::sleep_for(milliseconds(1500));
  const std::string screen = shell.Screen();
  EXPECT_NE(screen.find("tune.song"), kNone) << screen;
  EXPECT_NE(Elapsed(screen).find(':'), kNone) << screen;
  EXPECT_NE(screen.find(" 0  "), kNone) << "no row for channel 0:\n" << screen;

  EXPECT_EQ(shell.WaitFor("status"), "0\n");
  const std::string after = shell.WaitFor("after");
  EXPECT_EQ(after, ReadWholeFile(Path("before")));

  const std::vector<int16_t> played = ReadRawSamples(Path("out.raw"));
  size_t a = 0, b = 0;
  while (a < played.size() && played[a] == 0) ++a;
  while (b < render.size() && render[b] == 0) ++b;
  ASSERT_LT(a, played.size()) << "nothing was played";
  const size_t length = render.size() - b;
  ASSERT_GE(played.size() - a, length) << "the play stopped early";
  EXPECT_TRUE(std::equal(render.begin() + b, render.end(), played.begin() + a))
      << "differs from the render at sample " << Follow(render, played, a, b - a) - a + b;
  EXPECT_TRUE(std::all_of(played.begin() + a + length, played.end(), [](int16_t s) {
    return s == 0;
  })) << "sound after the song's end";
}

// Right seeks 5 s ahead, exactly: the sound jumps to the library's output a
// little under 5 s on (the seek counts from the position the screen last
// showed). `0` then removes exactly channel 0's part, at the same position.
// Space fades out and stops sound and clock; `n` goes on to the next song
// (still paused, from its start); `q` exits with 0 and the terminal as it was.
TEST_F(ToolPlay, SeekMuteAndPauseLandWhereTheySay) {
  const std::string song = Example("round");
  const std::vector<int16_t> plain = LibraryRead(song, 2, 8, -1, 20);
  const std::vector<int16_t> muted = LibraryRead(song, 2, 8, 0, 20);
  ASSERT_GT(plain.size(), 15 * kRate);

  TmuxShell shell(dir_);
  ASSERT_TRUE(shell.started());
  shell.Type(PlayLine(song + " " + Example("minuet")));
  // The device's place over time, to tell how soon each key is heard.
  CaptureClock clock(Path("out.raw"));
  auto wait = [&](int ms) {
    const auto until = Clock::now() + milliseconds(ms);
    while (Clock::now() < until) {
      clock.Poll();
      std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
  };
  wait(2000);
  shell.Key("Right");
  wait(1000);
  const auto mute_key = Clock::now();
  shell.Key("0");
  wait(1000);
  const auto pause_key = Clock::now();
  shell.Key("Space");
  wait(500);
  const std::string paused = shell.Screen();
  wait(1000);
  const std::string later = shell.Screen();
  const std::vector<int16_t> played = ReadRawSamples(Path("out.raw"));
  shell.Key("n");
  wait(300);
  const std::string next = shell.Screen();
  shell.Key("q");
  EXPECT_EQ(shell.WaitFor("status"), "0\n");
  EXPECT_EQ(shell.WaitFor("after"), ReadWholeFile(Path("before")));

  EXPECT_NE(paused.find("PAUSED"), kNone) << paused;
  EXPECT_NE(paused.find("MUTE"), kNone) << paused;
  EXPECT_FALSE(Elapsed(paused).empty()) << paused;
  EXPECT_EQ(Elapsed(paused), Elapsed(later)) << "the clock runs while paused";
  EXPECT_NE(paused.find("1/2  "), kNone) << paused;
  EXPECT_NE(next.find("2/2  "), kNone) << next;
  EXPECT_NE(next.find("minuet.song"), kNone) << next;
  EXPECT_EQ(Elapsed(next), " 0:00") << next;

  // Before the seek: the song from its start.
  size_t first = 0;
  while (first < played.size() && played[first] == 0) ++first;
  const size_t probe = first + static_cast<size_t>(0.25 * kRate);
  const size_t before = Locate(plain, played, probe, 2048);
  ASSERT_NE(before, kNone) << "the start is not the song";
  const size_t jump = Follow(plain, played, probe, before - probe);
  ASSERT_LT(jump, played.size());
  ASSERT_GT(jump, probe + static_cast<size_t>(kRate / 4)) << "the sound broke before the seek";

  // After it: the song a little under 5 s further on, until the mute.
  const size_t after_seek = Locate(plain, played, jump, 2048);
  ASSERT_NE(after_seek, kNone) << "the seek does not land on the song";
  const double moved = (static_cast<double>(after_seek) - before - (jump - probe)) / kRate;
  // At most the sample nearest to 5 s: the seek counts from the position
  // the player last saw, which the device may have passed already.
  EXPECT_LE(moved, 5.0 + 0.5 / kRate) << "from " << before << " to " << after_seek;
  EXPECT_GT(moved, 4.5);
  const size_t shift = after_seek - jump;
  const size_t mute_at = Follow(plain, played, jump, shift);
  ASSERT_GT(mute_at, jump + static_cast<size_t>(kRate / 2)) << "the sound broke after the seek";

  // From the mute on: the library's output without channel 0, at the same
  // position, for the second up to the pause.
  const size_t pause_at = Follow(muted, played, mute_at, shift);
  ASSERT_GT(pause_at, mute_at + static_cast<size_t>(0.8 * kRate))
      << "not the muted song after the mute";
  EXPECT_LT(Follow(plain, muted, mute_at + shift, 0), pause_at + shift)
      << "channel 0 is silent there: the mute shows nothing";

  // The pause: a fade of the song's own sound, then silence.
  ASSERT_LT(pause_at + 256, played.size());
  int louder = 0;
  for (size_t i = pause_at; i < pause_at + 256; ++i) {
    louder += std::abs(played[i]) > std::abs(muted[i + shift]) + 1;
  }
  EXPECT_EQ(louder, 0) << "the pause's fade is not the song faded";
  EXPECT_TRUE(std::all_of(played.begin() + pause_at + 256, played.end(), [](int16_t s) {
    return s == 0;
  })) << "sound after the pause";
  EXPECT_GT(played.size(), pause_at + static_cast<size_t>(kRate)) << "the device stopped";
  // Measured, not judged (the machine may be loaded): tmux's key to the
  // first changed sample on the device.
  std::printf("key to sound: mute %.1f ms, pause %.1f ms\n",
              1000 * (static_cast<double>(mute_at) - clock.SampleAt(mute_key)) / kRate,
              1000 * (static_cast<double>(pause_at) - clock.SampleAt(pause_key)) / kRate);
}

}  // namespace
}  // namespace opl2::test
