#include "output/live_output.h"

#include <SDL2/SDL.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

namespace opl2 {
namespace {

constexpr int kNativeRate = kChipSampleRateHz;
// Writes land this far behind the device's clock: about two buffers.
constexpr int64_t kLatencySamples = 2 * LiveOutput::kBufferSamples;
// Re-anchor when the time line gets closer than this to the device, or
// further ahead than this.
constexpr int64_t kMinLead = LiveOutput::kBufferSamples / 4;
constexpr int64_t kMaxLead = 6 * LiveOutput::kBufferSamples;
// Sound servers take a while to start pulling samples; the time line is
// anchored once the device has pulled this many.
constexpr uint64_t kRunningSamples = 3 * LiveOutput::kBufferSamples;

void FillCallback(void* self, Uint8* stream, int bytes) {
  static_cast<LiveOutput*>(self)->Fill(reinterpret_cast<int16_t*>(stream),
                                       bytes / static_cast<int>(sizeof(int16_t)));
}

}  // namespace

LiveOutput::LiveOutput() : port_(&timeline_, this) {
  chip_.Reset();
}

LiveOutput::~LiveOutput() {
  Close();
}

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

void LiveOutput::Anchor(uint64_t timeline_sample) {
  offset_ = static_cast<int64_t>(samples_played()) + kLatencySamples -
            static_cast<int64_t>(timeline_sample);
  if (!anchored_) {
    // The chip's own counters start where the song's time line starts, so
    // the device plays exactly what a render of the song holds.
    Push({static_cast<uint64_t>(std::max<int64_t>(offset_, 0)), 0, 0, true});
  }
  anchored_ = true;
}

void LiveOutput::Push(const DeviceWrite& w) {
  // A full queue means the audio thread is far behind; wait for it briefly
  // rather than lose a write.
  for (int tries = 0; !queue_.TryPush(w) && tries < 200; ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void LiveOutput::BeginTick(uint64_t opm_cycles) {
  timeline_.BeginTick(opm_cycles);
  const uint64_t start = BusTimeline::SampleOfWrite(timeline_.cursor());
  const int64_t lead =
      static_cast<int64_t>(start) + offset_ - static_cast<int64_t>(samples_played());
  if (!anchored_ || lead < kMinLead || lead > kMaxLead) {
    if (anchored_) ++reanchors_;
    Anchor(start);
  }
}

void LiveOutput::OnTimedWrite(const TimedWrite& write) {
  if (!anchored_) Anchor(write.sample);
  const int64_t at = static_cast<int64_t>(write.sample) + offset_;
  const uint64_t sample = static_cast<uint64_t>(std::max<int64_t>(at, 0));
  last_write_sample_ = std::max(last_write_sample_, sample);
  Push({sample, write.reg, write.value});
}

void LiveOutput::Fill(int16_t* out, int count) {
  uint64_t pos = device_pos_.load(std::memory_order_relaxed);
  int done = 0;
  while (done < count) {
    const DeviceWrite* w;
    while ((w = queue_.Front()) != nullptr && w->sample <= pos) {
      if (w->reset) {
        chip_.Reset();
      } else {
        chip_.Write(w->reg, w->value);
      }
      queue_.Pop();
    }
    int n = count - done;
    if (w != nullptr) n = static_cast<int>(std::min<uint64_t>(n, w->sample - pos));
    chip_.Generate(out + done, static_cast<size_t>(n));
    done += n;
    pos += static_cast<uint64_t>(n);
  }
  device_pos_.store(pos, std::memory_order_release);
}

}  // namespace opl2
