// Starts opl2play the way users do in bad environments: standard input from
// a pseudo-terminal, /dev/null or a pipe; standard output and error captured
// in files; the exit status, the terminal mode and the CPU time watched.
#pragma once

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/player_support.h"

namespace opl2::test {

enum class Input { kTerminal, kDevNull, kPipe };

struct Child {
  pid_t pid = -1;
  int master = -1;      // kTerminal: the pty's master side
  int pipe_write = -1;  // kPipe: the write end of the player's standard input
  termios before{};     // kTerminal: the mode before the player ran
  std::string out_path;
  std::string err_path;

  std::string Out() const { return ReadWholeFile(out_path); }
  std::string Err() const { return ReadWholeFile(err_path); }
};

inline std::string TempPath(const char* what) {
  char name[] = "/tmp/opl2-rob-XXXXXX";
  close(mkstemp(name));
  return std::string(name) + "-" + what;
}

// Starts `program args` with `env` added to the environment.
inline Child Spawn(const std::string& program, const std::vector<std::string>& args,
                   const std::vector<std::string>& env, Input input) {
  Child c;
  c.out_path = TempPath("out");
  c.err_path = TempPath("err");
  const int out = open(c.out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const int err = open(c.err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  int pipe_fds[2] = {-1, -1};
  if (input == Input::kPipe && pipe2(pipe_fds, O_CLOEXEC) != 0) return c;

  if (input == Input::kTerminal) {
    termios mode{};  // the usual cooked mode of a fresh terminal
    cfmakeraw(&mode);
    mode.c_iflag |= ICRNL | IXON;
    mode.c_oflag |= OPOST | ONLCR;
    mode.c_lflag |= ICANON | ECHO | ISIG | IEXTEN | ECHOE | ECHOK;
    mode.c_cc[VINTR] = 3;
    mode.c_cc[VMIN] = 1;
    c.pid = forkpty(&c.master, nullptr, &mode, nullptr);
  } else {
    c.pid = fork();
  }
  if (c.pid == 0) {
    if (input == Input::kDevNull) {
      setsid();
      const int null = open("/dev/null", O_RDONLY);
      dup2(null, 0);
    } else if (input == Input::kPipe) {
      setsid();
      dup2(pipe_fds[0], 0);
    }
    dup2(out, 1);
    dup2(err, 2);
    for (const std::string& e : env) putenv(const_cast<char*>(e.c_str()));
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(out);
  close(err);
  if (input == Input::kPipe) {
    close(pipe_fds[0]);
    c.pipe_write = pipe_fds[1];
  }
  if (input == Input::kTerminal) c.before = ModeOf(c.master);
  return c;
}

inline void Cleanup(Child& c) {
  if (c.master >= 0) close(c.master);
  if (c.pipe_write >= 0) close(c.pipe_write);
  c.master = c.pipe_write = -1;
  unlink(c.out_path.c_str());
  unlink(c.err_path.c_str());
}

// The exit status once the process has ended, or nullopt if it is still
// running after `timeout` (it is left running).
inline std::optional<int> PollExit(pid_t pid, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  do {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  } while (std::chrono::steady_clock::now() < deadline);
  return std::nullopt;
}

// User plus system CPU time the process has used so far, in seconds.
inline double CpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const size_t paren = stat.rfind(')');
  if (paren == std::string::npos) return -1;
  std::istringstream fields(stat.substr(paren + 2));
  std::string field;
  long utime = 0, stime = 0;
  // Fields after the name start at 3 (state); utime and stime are 14 and 15.
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::stol(field);
    if (i == 15) stime = std::stol(field);
  }
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// True once the process has `path` open (it is loading it), within `timeout`.
inline bool WaitUntilOpen(pid_t pid, const std::string& path, std::chrono::milliseconds timeout) {
  namespace fs = std::filesystem;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  const fs::path fds = "/proc/" + std::to_string(pid) + "/fd";
  while (std::chrono::steady_clock::now() < deadline) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(fds, ec)) {
      std::error_code link_ec;
      if (fs::read_symlink(entry.path(), link_ec) == path) return true;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return false;
}

inline std::string WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return path;
}

inline int CountLines(const std::string& s) {
  return static_cast<int>(std::count(s.begin(), s.end(), '\n'));
}

}  // namespace opl2::test
