// Runs opl2play on a pseudo-terminal with a file as its sound device, and
// compares what it played with a render of the same song.
#pragma once

#include <pty.h>
#include <signal.h>
#include <sndfile.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/harness.h"
#include "player/terminal_support.h"
#include "tools/run_tool.h"

namespace opl2::test {

struct PtyPlayer {
  pid_t pid = -1;
  int master = -1;
  termios before{};
};

// Starts `program args` on a new pty whose mode is the usual cooked one.
inline PtyPlayer StartOnPty(const std::string& program, const std::vector<std::string>& args,
                            const std::vector<std::string>& env) {
  PtyPlayer p;
  termios mode{};
  cfmakeraw(&mode);
  mode.c_iflag |= ICRNL | IXON;
  mode.c_oflag |= OPOST | ONLCR;
  mode.c_lflag |= ICANON | ECHO | ISIG | IEXTEN | ECHOE | ECHOK;
  mode.c_cc[VINTR] = 3;
  mode.c_cc[VMIN] = 1;
  p.pid = forkpty(&p.master, nullptr, &mode, nullptr);
  if (p.pid == 0) {
    for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  p.before = ModeOf(p.master);
  return p;
}

// Waits for the process; the exit status, or nullopt after `timeout`.
inline std::optional<int> WaitExit(pid_t pid, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return std::nullopt;
}

// Everything the pty has printed so far (non-blocking).
inline std::string Drain(int fd) {
  std::string out;
  char buf[4096];
  for (;;) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(fd, &set);
    timeval tv{0, 0};
    if (select(fd + 1, &set, nullptr, nullptr, &tv) <= 0) break;
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  return out;
}

// The size of the capture file over time: the disk driver writes it in
// chunks, right after the device has pulled them.
class CaptureClock {
 public:
  explicit CaptureClock(std::string path) : path_(std::move(path)) {}
  void Poll() {
    struct stat st {};
    if (stat(path_.c_str(), &st) != 0) return;
    const uint64_t samples = static_cast<uint64_t>(st.st_size) / 2;
    if (seen_.empty() || seen_.back().second != samples)
      seen_.emplace_back(std::chrono::steady_clock::now(), samples);
  }
  // Where the device was at `t`, between the chunks seen around it.
  double SampleAt(std::chrono::steady_clock::time_point t) const {
    for (size_t i = 1; i < seen_.size(); ++i) {
      if (seen_[i].first > t) {
        const auto& [ta, sa] = seen_[i - 1];
        const auto& [tb, sb] = seen_[i];
        const double f = std::chrono::duration<double>(t - ta).count() /
                         std::chrono::duration<double>(tb - ta).count();
        return static_cast<double>(sa) + f * static_cast<double>(sb - sa);
      }
    }
    return -1;
  }

 private:
  std::string path_;
  std::vector<std::pair<std::chrono::steady_clock::time_point, uint64_t>> seen_;
};

inline std::vector<int16_t> ReadRawSamples(const std::string& path) {
  const std::string bytes = ReadWholeFile(path);
  std::vector<int16_t> s(bytes.size() / 2);
  for (size_t i = 0; i < s.size(); ++i) {
    s[i] = static_cast<int16_t>(static_cast<uint8_t>(bytes[2 * i]) |
                                static_cast<uint8_t>(bytes[2 * i + 1]) << 8);
  }
  return s;
}

struct WindowMatch {
  int identical = 0;
  int compared = 0;
};

// Lines the two up at their first sound and compares 100 ms windows.
inline WindowMatch CompareWindows(const std::vector<int16_t>& played,
                                  const std::vector<int16_t>& rendered) {
  constexpr size_t kWindow = 4972;
  size_t a = 0, b = 0;
  while (a < played.size() && played[a] == 0) ++a;
  while (b < rendered.size() && rendered[b] == 0) ++b;
  WindowMatch m;
  for (; a + kWindow <= played.size() && b + kWindow <= rendered.size();
       a += kWindow, b += kWindow) {
    ++m.compared;
    m.identical +=
        std::equal(played.begin() + a, played.begin() + a + kWindow, rendered.begin() + b);
  }
  return m;
}

// A song that sounds all along: a looping tune on channel 0, with a slide.
inline Bytes LoopingTune() {
  return SongWithTrack0({0xFF, 0x01, 0xF6, 0x40, 0x06, 0x44, 0x06, 0x47, 0x06, 0xDA, 0x47, 0x50,
                         0x08, 0x0F, 0x02, 0x80},
                        {{1, {0x21, 0x21, 0x1A, 0x00, 0xF2, 0xF2, 0x45, 0x45, 0x0C}}});
}

// `opl2tool render` of the song at the chip's own rate, without the fade of
// looping songs, through `wav`; empty when the render fails.
inline std::vector<int16_t> RenderNative(const std::string& song, const std::string& wav) {
  if (RunCommand(Tool("render " + song + " -o " + wav + " --rate native --seconds 10 --loops 1000"))
          .status != 0) {
    return {};
  }
  SF_INFO info{};
  SNDFILE* f = sf_open(wav.c_str(), SFM_READ, &info);
  if (f == nullptr) return {};
  std::vector<int16_t> samples(static_cast<size_t>(info.frames));
  sf_readf_short(f, samples.data(), info.frames);
  sf_close(f);
  return samples;
}

}  // namespace opl2::test
