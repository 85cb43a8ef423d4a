// LiveOutput's device on POSIX systems: SDL2's default audio output.
#include <SDL2/SDL.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "output/live_output.h"

namespace opl2 {
namespace {

void FillCallback(void* self, Uint8* stream, int bytes) {
  static_cast<LiveOutput*>(self)->Fill(reinterpret_cast<int16_t*>(stream),
                                       bytes / static_cast<int>(sizeof(int16_t)));
}

}  // namespace

// Sound libraries below SDL write their own diagnostics to stderr while they
// look for a device; SDL's error message already says what went wrong, so
// their chatter is kept off the terminal for the time of the open.
class QuietStderr {
 public:
  QuietStderr() {
    std::fflush(stderr);
    saved_ = dup(STDERR_FILENO);
    const int null_fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved_ >= 0 && null_fd >= 0) dup2(null_fd, STDERR_FILENO);
    if (null_fd >= 0) close(null_fd);
  }
  ~QuietStderr() {
    std::fflush(stderr);
    if (saved_ >= 0) {
      dup2(saved_, STDERR_FILENO);
      close(saved_);
    }
  }
  QuietStderr(const QuietStderr&) = delete;
  QuietStderr& operator=(const QuietStderr&) = delete;

 private:
  int saved_ = -1;
};

bool LiveOutput::Open() {
  QuietStderr quiet;
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    error_ = SDL_GetError();
    return false;
  }
  SDL_AudioSpec want{};
  want.freq = kNativeRate;
  want.format = AUDIO_S16SYS;
  want.channels = 1;
  want.samples = kBufferSamples;
  want.callback = FillCallback;
  want.userdata = this;
  SDL_AudioSpec have{};
  device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (device_ == 0) {
    error_ = SDL_GetError();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  open_ = true;
  SDL_PauseAudioDevice(device_, 0);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  while (samples_played() < kRunningSamples && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

void LiveOutput::Drain(int max_ms) {
  if (!open_) return;
  const uint64_t until = last_write_sample_ + kBufferSamples;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(max_ms);
  while ((!queue_.Empty() || samples_played() < until) &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  Close();
}

void LiveOutput::Close() {
  if (!open_) return;
  SDL_CloseAudioDevice(device_);
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  open_ = false;
}

}  // namespace opl2
