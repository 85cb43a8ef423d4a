// opl2play through a real sound server: a PulseAudio null sink at the chip's
// rate, recorded from its monitor, holds what a render of the song holds.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <unordered_map>

#include "engine/harness.h"
#include "player_support.h"

namespace opl2::test {
namespace {

namespace fs = std::filesystem;

// Share of 100 ms windows of `recorded` (those with sound) found sample for
// sample somewhere in `rendered`: the server may drop the first milliseconds,
// the last buffer, or leave short gaps, so each window is placed on its own.
struct Placement {
  int found = 0;
  int windows = 0;
};

Placement PlaceWindows(const std::vector<int16_t>& recorded, const std::vector<int16_t>& rendered) {
  constexpr size_t kWindow = 4972;
  constexpr size_t kKey = 32;
  auto key_at = [](const std::vector<int16_t>& v, size_t i) {
    uint64_t h = 1469598103934665603ull;
    for (size_t k = 0; k < kKey; ++k) h = (h ^ static_cast<uint16_t>(v[i + k])) * 1099511628211ull;
    return h;
  };
  std::unordered_multimap<uint64_t, size_t> where;
  for (size_t i = 0; i + kKey <= rendered.size(); ++i) where.emplace(key_at(rendered, i), i);
  Placement p;
  for (size_t a = 0; a + kWindow <= recorded.size(); a += kWindow) {
    bool sound = false;
    for (size_t i = a; i < a + kWindow && !sound; ++i) sound = recorded[i] != 0;
    if (!sound) continue;
    ++p.windows;
    const auto [lo, hi] = where.equal_range(key_at(recorded, a));
    for (auto it = lo; it != hi; ++it) {
      const size_t b = it->second;
      if (b + kWindow <= rendered.size() &&
          std::equal(recorded.begin() + a, recorded.begin() + a + kWindow, rendered.begin() + b)) {
        ++p.found;
        break;
      }
    }
  }
  return p;
}

class Background {
 public:
  Background(const std::string& shell_command) {
    pid_ = fork();
    if (pid_ == 0) {
      setpgid(0, 0);
      execl("/bin/sh", "sh", "-c", shell_command.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
  }
  ~Background() {
    if (pid_ > 0) {
      kill(-pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }

 private:
  pid_t pid_ = -1;
};

TEST(PlayerThroughPulseAudio, RecordedSoundMatchesTheRender) {
  if (RunCommand("command -v pulseaudio && command -v parec && command -v pacat").status != 0) {
    GTEST_SKIP() << "pulseaudio, parec or pacat not installed (scripts/setup installs them)";
  }
  const fs::path dir = fs::temp_directory_path() / ("opl2-pulse-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string env = "PULSE_RUNTIME_PATH='" + dir.string() + "' PULSE_STATE_PATH='" +
                          dir.string() + "' PULSE_SERVER='unix:" + dir.string() + "/native' ";
  const ToolResult started =
      RunCommand(env +
                 "pulseaudio -D -n --exit-idle-time=-1 --use-pid-file=true"
                 " --load='module-null-sink sink_name=opl2sink rate=49716 channels=1 format=s16le'"
                 " --load='module-native-protocol-unix'");
  ASSERT_EQ(started.status, 0) << started.err;
  bool ready = false;
  for (int i = 0; i < 100 && !ready; ++i) {
    ready = RunCommand(env + "pactl info").status == 0;
    if (!ready) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_TRUE(ready);

  const std::string song = (dir / "tune.song").string();
  {
    const Bytes bytes = LoopingTune();
    std::ofstream(song, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }
  const std::string recording = (dir / "rec.raw").string();
  {
    // Low latencies keep the null sink pulling the player's stream steadily
    // (a recorder's default latency makes it pull in seconds-long gulps).
    const std::string format = " --rate=49716 --channels=1 --format=s16le --latency-msec=20 ";
    Background keep_alive(env + "exec pacat --device=opl2sink" + format + "</dev/zero");
    Background recorder(env + "exec parec --device=opl2sink.monitor" + format + ">'" + recording +
                        "'");
    std::this_thread::sleep_for(std::chrono::seconds(2));

    PtyPlayer p =
        StartOnPty(std::string(OPL2_BIN_DIR) + "/opl2play", {song},
                   {"SDL_AUDIODRIVER=pulseaudio", "PULSE_RUNTIME_PATH=" + dir.string(),
                    "PULSE_SERVER=unix:" + dir.string() + "/native", "PULSE_SINK=opl2sink"});
    ASSERT_TRUE(WaitUntilRaw(p.master));
    std::this_thread::sleep_for(std::chrono::seconds(3));
    Send(p.master, "x");
    const std::optional<int> status = WaitExit(p.pid, std::chrono::seconds(5));
    close(p.master);
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
  RunCommand(env + "pactl exit");

  const std::vector<int16_t> rendered = RenderNative(song, (dir / "render.wav").string());
  ASSERT_FALSE(rendered.empty());
  const std::vector<int16_t> recorded = ReadRawSamples(recording);
  const Placement p = PlaceWindows(recorded, rendered);
  std::printf("recorded %.2f s; 100 ms windows with sound found in the render: %d of %d\n",
              static_cast<double>(recorded.size()) / 49716.0, p.found, p.windows);
  EXPECT_GE(p.windows, 20);
  EXPECT_GE(p.found * 10, p.windows * 8);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace opl2::test
