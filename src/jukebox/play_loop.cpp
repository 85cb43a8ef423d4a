#include "jukebox/play_loop.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <span>

#include "jukebox/screen_frame.h"
#include "jukebox/terminal_control.h"
#include "player/key_code.h"
#include "player/key_decoder.h"

namespace opl2::jukebox {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kFramePeriod = std::chrono::milliseconds(50);  // 20 frames a second
constexpr auto kMessageTime = std::chrono::seconds(4);
constexpr int kInterruptStatus = 130;

// Bytes typed and not yet decoded.
class KeyBytes {
 public:
  // Reads what is there; false at the end of the input.
  bool Fill(int fd) {
    if (size_ == buf_.size()) size_ = 0;  // garbage that decodes to nothing
    const ssize_t n = read(fd, buf_.data() + size_, buf_.size() - size_);
    if (n == 0) return false;
    if (n > 0) {
      size_ += static_cast<size_t>(n);
      last_byte_ = Clock::now();
    }
    return true;
  }
  // The next key code, if a whole key is there.
  bool Next(int32_t* code) {
    const bool timed_out = Clock::now() - last_byte_ >= std::chrono::milliseconds(kEscapeTimeoutMs);
    while (size_ > 0) {
      const DecodeResult r = DecodeKey(std::span<const uint8_t>(buf_.data(), size_), timed_out);
      if (r.status == DecodeStatus::kIncomplete) return false;
      std::copy(buf_.begin() + static_cast<std::ptrdiff_t>(r.consumed),
                buf_.begin() + static_cast<std::ptrdiff_t>(size_), buf_.begin());
      size_ -= r.consumed;
      if (r.status != DecodeStatus::kKey) continue;
      if (const std::optional<int32_t> c = KeyCodeFor(r.event)) {
        *code = *c;
        return true;
      }
    }
    return false;
  }
  // Time until an ESC waiting for the rest of its sequence counts alone.
  bool waiting() const { return size_ > 0; }
  Clock::time_point deadline() const {
    return last_byte_ + std::chrono::milliseconds(kEscapeTimeoutMs);
  }

 private:
  std::array<uint8_t, 256> buf_{};
  size_t size_ = 0;
  Clock::time_point last_byte_{};
};

class ScreenPainter {
 public:
  ScreenPainter() : shown_(std::make_unique<Frame>()), next_(std::make_unique<Frame>()) {}
  void Invalidate() { valid_ = false; }
  void Paint(const ScreenModel& model) {
    int rows = kMinRows, cols = kMinColumns;
    TerminalControl::Size(&rows, &cols);
    DrawScreen(model, rows, cols, next_.get());
    size_t n = 0;
    if (!valid_) {
      constexpr char kClear[] = "\x1b[2J";
      std::copy(kClear, kClear + 4, out_.data());
      n = 4;
    }
    n += FrameUpdate(valid_ ? shown_.get() : nullptr, *next_, out_.data() + n, out_.size() - n);
    if (n > 0) TerminalControl::Write(out_.data(), n);
    std::swap(shown_, next_);
    valid_ = true;
  }

 private:
  std::unique_ptr<Frame> shown_;
  std::unique_ptr<Frame> next_;
  std::array<char, 96 * 1024> out_{};
  bool valid_ = false;
};

}  // namespace

int RunPlayLoop(PlaySession& session, const LoopSetup& setup) {
  std::vector<std::string> notes_for_later;
  int status = -1;
  {
    TerminalControl terminal(setup.keys, setup.screen);
    auto painter = setup.screen ? std::make_unique<ScreenPainter>() : nullptr;
    auto keys = std::make_unique<KeyBytes>();
    bool reading_keys = setup.keys;
    Clock::time_point next_frame = Clock::now();
    Clock::time_point message_until{};
    session.Begin();

    while (status < 0) {
      Clock::time_point wake = setup.screen ? next_frame : Clock::now() + kFramePeriod;
      if (keys->waiting()) wake = std::min(wake, keys->deadline());
      const auto wait = std::chrono::ceil<std::chrono::milliseconds>(wake - Clock::now());
      pollfd fds[2] = {{terminal.wake_fd(), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
      poll(fds, reading_keys ? 2 : 1, static_cast<int>(std::max<int64_t>(wait.count(), 0)));

      const TerminalControl::Events events = terminal.TakeEvents();
      if (events.stop_signal != 0) {
        status = 128 + events.stop_signal;
        break;
      }
      if (events.resumed) terminal.Retake();
      if ((events.resumed || events.resized) && painter) painter->Invalidate();
      if (reading_keys && (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
        reading_keys = keys->Fill(STDIN_FILENO);
      }
      int32_t code = 0;
      while (status < 0 && keys->Next(&code)) {
        const KeyCommand key = session.PressKey(code);
        if (key.command == Command::kQuit) status = 0;
        if (key.command == Command::kInterrupt) status = kInterruptStatus;
        if (key.command == Command::kSuspend) terminal.Suspend();
        if (key.command == Command::kRedraw && painter) painter->Invalidate();
      }
      if (status >= 0) break;

      session.Update();
      for (std::string& note : session.TakeNotes()) {
        if (setup.screen) {
          session.set_message(note);
          message_until = Clock::now() + kMessageTime;
          notes_for_later.push_back(std::move(note));
        } else {
          std::fprintf(stderr, "opl2tool play: %s\n", note.c_str());
        }
      }
      for (const std::string& line : session.TakeSongLines()) {
        if (!setup.screen) {
          std::printf("%s\n", line.c_str());
          std::fflush(stdout);
        }
      }
      if (session.finished()) status = session.exit_status();
      const Clock::time_point now = Clock::now();
      if (message_until != Clock::time_point{} && now >= message_until) {
        session.set_message("");
        message_until = {};
      }
      if (painter && now >= next_frame) {
        painter->Paint(session.model());
        next_frame = std::max(next_frame + kFramePeriod, now);
      }
    }
  }
  for (const std::string& note : notes_for_later) {
    std::fprintf(stderr, "opl2tool play: %s\n", note.c_str());
  }
  return status;
}

}  // namespace opl2::jukebox
