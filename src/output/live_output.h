// The emulated chip playing through the system's audio output (SDL2).
//
// Register writes are stamped on the song's time line (the tick's ideal
// start plus 104 master clocks per write) and placed on the device's sample
// clock at a fixed distance behind it, about two buffers; the audio thread
// takes them from a lock-free queue at their sample and runs the chip. Each
// tick checks how far ahead of the device the song's time line runs and
// re-anchors when the distance leaves its window, so a long song neither
// drifts into underruns nor piles up latency.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "bus/bus_timeline.h"
#include "bus/emulated_port.h"
#include "bus/timed_write_queue.h"
#include "chip/opl2_chip.h"

namespace opl2 {

class LiveOutput : private TimedWriteSink {
 public:
  static constexpr int kBufferSamples = 2048;

  LiveOutput();
  ~LiveOutput() override;

  // Opens the default audio device at the chip's rate. False with error()
  // set (SDL's own message included) when there is none.
  bool Open();
  // Waits until every queued write has been played and one more buffer has
  // gone out (at most `max_ms`), then closes the device.
  void Drain(int max_ms = 1000);
  void Close();

  // The port the engine writes to.
  Port& port() { return port_; }
  // Called at the start of each tick with the OPM cycles before it.
  void BeginTick(uint64_t opm_cycles);

  const std::string& error() const { return error_; }
  uint64_t samples_played() const { return device_pos_.load(std::memory_order_acquire); }
  uint64_t reanchors() const { return reanchors_; }

  // The audio thread's work: fills `out` with the next `count` samples.
  void Fill(int16_t* out, int count);

 private:
  void OnTimedWrite(const TimedWrite& write) override;
  void Anchor(uint64_t timeline_sample);
  void Push(const DeviceWrite& w);

  Chip chip_;
  BusTimeline timeline_;
  EmulatedPort port_;
  TimedWriteQueue queue_;
  uint32_t device_ = 0;
  bool open_ = false;
  std::string error_;

  std::atomic<uint64_t> device_pos_{0};  // samples the audio thread has made
  int64_t offset_ = 0;                   // device sample = timeline sample + offset
  bool anchored_ = false;
  uint64_t last_write_sample_ = 0;
  uint64_t reanchors_ = 0;
};

}  // namespace opl2
