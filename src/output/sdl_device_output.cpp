#include "output/sdl_device_output.h"

#include <SDL2/SDL.h>
#include <fcntl.h>
#include <soxr.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace opl2 {
namespace {

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

}  // namespace

void SdlDeviceOutput::ResamplerDeleter::operator()(soxr* resampler) const {
  soxr_delete(resampler);
}

SdlDeviceOutput::SdlDeviceOutput() = default;

std::vector<std::string> SdlDeviceOutput::DeviceNames(std::string* error) {
  QuietStderr quiet;
  std::vector<std::string> names;
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    *error = SDL_GetError();
    return names;
  }
  const int count = SDL_GetNumAudioDevices(0);
  for (int i = 0; i < count; ++i) {
    const char* name = SDL_GetAudioDeviceName(i, 0);
    if (name != nullptr) names.emplace_back(name);
  }
  if (count < 0) *error = SDL_GetError();
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  return names;
}

SdlDeviceOutput::~SdlDeviceOutput() {
  Close();
}

bool SdlDeviceOutput::Open(SampleSource* source, const Request& request) {
  QuietStderr quiet;
  source_ = source;
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    error_ = SDL_GetError();
    return false;
  }
  SDL_AudioSpec want{};
  want.freq = request.rate > 0 ? request.rate : kChipSampleRateHz;
  want.format = AUDIO_S16SYS;
  want.channels = 1;
  want.samples = static_cast<Uint16>(request.buffer_samples);
  want.callback = Callback;
  want.userdata = this;
  SDL_AudioSpec have{};
  const int allowed = request.rate > 0
                          ? SDL_AUDIO_ALLOW_SAMPLES_CHANGE
                          : SDL_AUDIO_ALLOW_FREQUENCY_CHANGE | SDL_AUDIO_ALLOW_SAMPLES_CHANGE;
  device_ = SDL_OpenAudioDevice(request.device.empty() ? nullptr : request.device.c_str(), 0, &want,
                                &have, allowed);
  if (device_ == 0) {
    error_ = SDL_GetError();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  device_rate_ = have.freq;
  device_buffer_ = have.samples;

  if (device_rate_ != kChipSampleRateHz) {
    soxr_error_t err = nullptr;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, SOXR_INT16_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    resampler_.reset(
        soxr_create(kChipSampleRateHz, device_rate_, 1, &err, &io, &quality, &runtime));
    chip_block_size_ = buffer_in_chip_samples();
    chip_block_ = std::make_unique<int16_t[]>(static_cast<size_t>(chip_block_size_));
    if (err == nullptr && resampler_ != nullptr) {
      err = soxr_set_input_fn(resampler_.get(), ResamplerInput, this,
                              static_cast<size_t>(chip_block_size_));
    }
    if (err != nullptr || resampler_ == nullptr) {
      error_ = std::string("no resampler from the chip's rate to ") + std::to_string(device_rate_) +
               " Hz" + (err != nullptr ? ": " : "") + (err != nullptr ? err : "");
      SDL_CloseAudioDevice(device_);
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      resampler_.reset();
      return false;
    }
  }
  open_ = true;
  SDL_PauseAudioDevice(device_, 0);
  return true;
}

void SdlDeviceOutput::Close() {
  if (!open_) return;
  SDL_CloseAudioDevice(device_);
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
  open_ = false;
}

int SdlDeviceOutput::buffer_in_chip_samples() const {
  if (device_rate_ <= 0) return device_buffer_;
  return static_cast<int>(static_cast<int64_t>(device_buffer_) * kChipSampleRateHz / device_rate_) +
         1;
}

void SdlDeviceOutput::Callback(void* self, uint8_t* stream, int bytes) {
  static_cast<SdlDeviceOutput*>(self)->Fill(reinterpret_cast<int16_t*>(stream),
                                            bytes / static_cast<int>(sizeof(int16_t)));
}

void SdlDeviceOutput::Fill(int16_t* out, int count) {
  if (resampler_ == nullptr) {
    source_->Produce(out, count);
    return;
  }
  const size_t made = soxr_output(resampler_.get(), out, static_cast<size_t>(count));
  for (size_t i = made; i < static_cast<size_t>(count); ++i) out[i] = 0;
}

size_t SdlDeviceOutput::ResamplerInput(void* self, const void** data, size_t requested) {
  auto* output = static_cast<SdlDeviceOutput*>(self);
  const int n =
      static_cast<int>(std::min(requested, static_cast<size_t>(output->chip_block_size_)));
  output->source_->Produce(output->chip_block_.get(), n);
  *data = output->chip_block_.get();
  return static_cast<size_t>(n);
}

}  // namespace opl2
