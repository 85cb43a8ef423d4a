#include "output/waveout_device_win32.h"

#include <mmsystem.h>

namespace opl2 {

std::string WaveOutErrorText(MMRESULT result) {
  char text[MAXERRORLENGTH] = {};
  if (waveOutGetErrorTextA(result, text, sizeof text) != MMSYSERR_NOERROR) {
    return "waveOut error " + std::to_string(result);
  }
  return text;
}

WaveOutDevice::~WaveOutDevice() {
  Close();
}

bool WaveOutDevice::Open(int rate, int buffer_samples, FillFunction fill, void* user,
                         std::string* error) {
  Close();
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = 1;
  format.nSamplesPerSec = static_cast<DWORD>(rate);
  format.wBitsPerSample = 16;
  format.nBlockAlign = 2;
  format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;

  buffer_done_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (buffer_done_ == nullptr) {
    *error = "cannot make an event for the sound output";
    return false;
  }
  const MMRESULT opened = waveOutOpen(&wave_, WAVE_MAPPER, &format,
                                      reinterpret_cast<DWORD_PTR>(buffer_done_), 0, CALLBACK_EVENT);
  if (opened != MMSYSERR_NOERROR) {
    wave_ = nullptr;
    CloseHandle(buffer_done_);
    buffer_done_ = nullptr;
    *error = WaveOutErrorText(opened);
    return false;
  }

  fill_ = fill;
  user_ = user;
  buffer_samples_ = buffer_samples;
  samples_ = std::make_unique<int16_t[]>(static_cast<size_t>(buffer_samples) * kBuffers);
  for (int i = 0; i < kBuffers; ++i) {
    WAVEHDR& header = headers_[i];
    header = WAVEHDR{};
    header.lpData = reinterpret_cast<LPSTR>(samples_.get() + i * buffer_samples);
    header.dwBufferLength = static_cast<DWORD>(buffer_samples * sizeof(int16_t));
    waveOutPrepareHeader(wave_, &header, sizeof header);
  }
  next_ = 0;
  position_wraps_ = 0;
  last_position_ = 0;
  stopping_ = false;
  // Nothing plays until every buffer is queued, so they play without a gap.
  waveOutPause(wave_);
  for (int i = 0; i < kBuffers; ++i) Queue(i);
  waveOutRestart(wave_);
  feeder_ = std::thread(&WaveOutDevice::Feed, this);
  return true;
}

void WaveOutDevice::Queue(int index) {
  WAVEHDR& header = headers_[index];
  fill_(user_, reinterpret_cast<int16_t*>(header.lpData), buffer_samples_);
  header.dwFlags &= ~static_cast<DWORD>(WHDR_DONE);
  waveOutWrite(wave_, &header, sizeof header);
}

void WaveOutDevice::Feed() {
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
  while (!stopping_) {
    WaitForSingleObject(buffer_done_, 100);
    while (!stopping_ && (headers_[next_].dwFlags & WHDR_DONE) != 0) {
      Queue(next_);
      next_ = (next_ + 1) % kBuffers;
    }
  }
}

uint64_t WaveOutDevice::played_samples() {
  if (wave_ == nullptr) return 0;
  MMTIME time{};
  time.wType = TIME_SAMPLES;
  if (waveOutGetPosition(wave_, &time, sizeof time) != MMSYSERR_NOERROR ||
      time.wType != TIME_SAMPLES) {
    return 0;
  }
  // The device counts in 32 bits: about 24 hours at the chip's rate.
  if (time.u.sample < last_position_) ++position_wraps_;
  last_position_ = time.u.sample;
  return (position_wraps_ << 32) | time.u.sample;
}

void WaveOutDevice::Close() {
  if (wave_ == nullptr) return;
  stopping_ = true;
  SetEvent(buffer_done_);
  if (feeder_.joinable()) feeder_.join();
  waveOutReset(wave_);
  for (WAVEHDR& header : headers_) waveOutUnprepareHeader(wave_, &header, sizeof header);
  waveOutClose(wave_);
  wave_ = nullptr;
  CloseHandle(buffer_done_);
  buffer_done_ = nullptr;
  samples_.reset();
}

}  // namespace opl2
