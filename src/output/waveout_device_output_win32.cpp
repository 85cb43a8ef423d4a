#include "output/waveout_device_output_win32.h"

#include <mmsystem.h>

#include <algorithm>
#include <chrono>

namespace opl2 {
namespace {

// How long Close waits for the queued buffers to play out.
constexpr auto kPlayOut = std::chrono::milliseconds(500);

}  // namespace

std::string WaveOutErrorText(MMRESULT result) {
  char text[MAXERRORLENGTH] = {};
  if (waveOutGetErrorTextA(result, text, sizeof text) != MMSYSERR_NOERROR) {
    return "waveOut error " + std::to_string(result);
  }
  return text;
}

WaveOutDeviceOutput::~WaveOutDeviceOutput() {
  Close();
}

bool WaveOutDeviceOutput::Open(SampleSource* source, const Request& request) {
  Close();
  if (request.rate > 0 && request.rate != kChipSampleRateHz) {
    error_ = "no resampler to " + std::to_string(request.rate) + " Hz in the Windows build";
    return false;
  }
  source_ = source;
  device_rate_ = kChipSampleRateHz;
  buffer_samples_ = std::max(request.buffer_samples, kMinBufferSamples);

  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = 1;
  format.nSamplesPerSec = static_cast<DWORD>(device_rate_);
  format.wBitsPerSample = 16;
  format.nBlockAlign = 2;
  format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;

  buffer_done_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (buffer_done_ == nullptr) {
    error_ = "cannot make an event for the sound output";
    return false;
  }
  const MMRESULT opened = waveOutOpen(&wave_, WAVE_MAPPER, &format,
                                      reinterpret_cast<DWORD_PTR>(buffer_done_), 0, CALLBACK_EVENT);
  if (opened != MMSYSERR_NOERROR) {
    wave_ = nullptr;
    CloseHandle(buffer_done_);
    buffer_done_ = nullptr;
    error_ = WaveOutErrorText(opened);
    return false;
  }

  samples_ = std::make_unique<int16_t[]>(static_cast<size_t>(buffer_samples_) * kBuffers);
  for (int i = 0; i < kBuffers; ++i) {
    WAVEHDR& header = headers_[i];
    header = WAVEHDR{};
    header.lpData = reinterpret_cast<LPSTR>(samples_.get() + i * buffer_samples_);
    header.dwBufferLength = static_cast<DWORD>(buffer_samples_ * sizeof(int16_t));
    waveOutPrepareHeader(wave_, &header, sizeof header);
  }
  next_ = 0;
  stopping_ = false;
  // Nothing plays until every buffer is queued, so they play without a gap.
  waveOutPause(wave_);
  for (int i = 0; i < kBuffers; ++i) Queue(i);
  waveOutRestart(wave_);
  feeder_ = std::thread(&WaveOutDeviceOutput::Feed, this);
  return true;
}

void WaveOutDeviceOutput::Queue(int index) {
  WAVEHDR& header = headers_[index];
  source_->Produce(reinterpret_cast<int16_t*>(header.lpData), buffer_samples_);
  header.dwFlags &= ~static_cast<DWORD>(WHDR_DONE);
  waveOutWrite(wave_, &header, sizeof header);
}

void WaveOutDeviceOutput::Feed() {
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
  while (!stopping_) {
    WaitForSingleObject(buffer_done_, 100);
    while (!stopping_ && (headers_[next_].dwFlags & WHDR_DONE) != 0) {
      Queue(next_);
      next_ = (next_ + 1) % kBuffers;
    }
  }
}

bool WaveOutDeviceOutput::AllDone() const {
  for (const WAVEHDR& header : headers_) {
    if ((header.dwFlags & WHDR_DONE) == 0) return false;
  }
  return true;
}

void WaveOutDeviceOutput::Close() {
  if (wave_ == nullptr) return;
  stopping_ = true;
  SetEvent(buffer_done_);
  if (feeder_.joinable()) feeder_.join();
  const auto deadline = std::chrono::steady_clock::now() + kPlayOut;
  while (!AllDone() && std::chrono::steady_clock::now() < deadline) {
    WaitForSingleObject(buffer_done_, 10);
  }
  waveOutReset(wave_);
  for (WAVEHDR& header : headers_) waveOutUnprepareHeader(wave_, &header, sizeof header);
  waveOutClose(wave_);
  wave_ = nullptr;
  CloseHandle(buffer_done_);
  buffer_done_ = nullptr;
  samples_.reset();
}

}  // namespace opl2
