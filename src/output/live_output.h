// The emulated chip playing a song live through the system's sound device.
//
// Register writes are stamped on the song's time line (the tick's ideal
// start plus 104 master clocks per write) and placed on the device's sample
// clock at an offset; the audio thread applies each before its sample, so the
// device plays exactly what a render of the song holds.
//
// The device sets the pace. Before each tick the timer thread asks TickDue:
// the tick runs when the device will reach its start within one buffer plus
// one tick period (the lead), and waits for a later timer call when the
// device is further behind, so the lead stays between one buffer and one
// buffer plus a period. When the device runs faster than the timer, a timer
// call runs a second tick. No thread ever waits for the device: a device
// that stops pulling only holds the ticks back. Only when the timer itself
// falls behind the device (a late timer) does the time line jump ahead
// (a re-anchor: the song resumes a moment later).
//
// At the end the output fades to silence within a few milliseconds after
// the last write, instead of holding the chip's last value.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "bus/bus_timeline.h"
#include "bus/emulated_port.h"
#include "output/queued_chip.h"
#include "output/sdl_device_output.h"

namespace opl2 {

class LiveOutput : private TimedWriteSink {
 public:
  static constexpr int kRequestedBufferSamples = 512;
  // The most ticks one timer call runs.
  static constexpr int kMaxTicksPerCall = 16;

  struct Counters {
    uint64_t ticks = 0;        // ticks run
    uint64_t held = 0;         // timer calls that ran no tick: the device was behind
    uint64_t extra = 0;        // ticks run as a second (or later) tick of a timer call
    uint64_t reanchors = 0;    // the timer fell behind the device: the time line jumped
    uint64_t late_writes = 0;  // writes the audio thread got after their sample
    uint64_t lost_writes = 0;  // writes that found the queue full (never expected)
  };

  // Room for `write_capacity` queued writes: enough for the busiest tick the
  // caller's engine can make, plus what the lead holds and the shutdown.
  explicit LiveOutput(uint64_t write_capacity);
  ~LiveOutput() override;
  LiveOutput(const LiveOutput&) = delete;
  LiveOutput& operator=(const LiveOutput&) = delete;

  // Opens the default sound device. False with error() set when there is
  // none.
  bool Open();
  // Plays without a device of its own: whoever pulls source() is the device,
  // pulling `buffer_samples` at a time.
  void OpenWithoutDevice(int buffer_samples);
  // Fades out after the last write and waits until the device has played the
  // fade and a few buffers of silence: at most `max_ms`, and less when the
  // device stops pulling (it then fades out wherever it is). Ticks must have
  // stopped. The device stays open. False when the device stopped pulling.
  bool Drain(int max_ms = 1000);
  // Closes the device (see SdlDeviceOutput::Close).
  void Close();

  // The port the engine writes to.
  Port& port() { return port_; }
  // What the device pulls.
  QueuedChip& source() { return *chip_; }

  // One call of the timer: runs the ticks that are due, none, one or more
  // (see above), each by calling `tick()`, while `playing()`.
  // `period_cycles()` is the Timer B period in OPM cycles from the tick about
  // to run to the one after it (a tick's re-arm may change it). The ticks
  // write to port(); the caller keeps other writers out meanwhile.
  template <typename Playing, typename PeriodCycles, typename Tick>
  void TimerCall(Playing playing, PeriodCycles period_cycles, Tick tick) {
    for (int ran = 0; playing(); ++ran) {
      const uint32_t period = period_cycles();
      const uint64_t next = elapsed_cycles_ + period;
      if (!TickDue(next, period, ran)) return;
      elapsed_cycles_ = next;
      timeline_.BeginTick(next);
      in_tick_ = true;
      tick();
      in_tick_ = false;
    }
  }

  // Where the time comes from (tests simulate it); steady_clock by default.
  void set_clock(NowFunction now);

  // Device samples from where the device is now to where the next write
  // would land: how long a key-off made now takes to be heard.
  int64_t LeadOfNextWrite() const;

  const std::string& error() const { return error_; }
  // The device's buffer in chip samples: the least lead a tick has.
  int buffer_samples() const { return buffer_; }
  Counters counters() const;

 private:
  // Whether the tick that starts `next_opm_cycles` after the first arming,
  // `period_opm_cycles` before the one after it, runs now; `ran` ticks have
  // already run in this timer call.
  bool TickDue(uint64_t next_opm_cycles, uint32_t period_opm_cycles, int ran);
  void OnTimedWrite(const TimedWrite& write) override;
  // Places `timeline_sample` `lead` samples ahead of where the device is now.
  void Anchor(uint64_t timeline_sample, int64_t lead);
  // Places the start of the time line, then the start-up's writes.
  void AnchorStart();
  void Push(const TimedWrite& write);
  int64_t DeviceSampleOf(uint64_t timeline_clock) const;
  int64_t DeviceNow() const;

  std::unique_ptr<QueuedChip> chip_;
  BusTimeline timeline_;
  EmulatedPort port_;
  SdlDeviceOutput device_;
  bool open_ = false;
  std::string error_;
  int buffer_ = kRequestedBufferSamples;

  NowFunction now_ = &std::chrono::steady_clock::now;
  uint64_t elapsed_cycles_ = 0;  // OPM cycles from the first arming to the last tick run
  int64_t offset_ = 0;           // device sample = timeline sample + offset
  bool anchored_ = false;
  bool in_tick_ = false;
  // The start-up's writes (chip reset, song load), kept until the first tick.
  static constexpr int kStartWrites = 1024;
  std::array<TimedWrite, kStartWrites> start_{};
  int start_writes_ = 0;
  Counters counters_;
};

}  // namespace opl2
