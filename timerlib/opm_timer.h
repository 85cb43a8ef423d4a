// Timer B of an emulated OPM (YM2151), ticking on its own thread.
//
// Register 0x12 holds the load value N; Timer B overflows every
// 1024 * (256 - N) master-clock cycles. Writing register 0x14 with bit 1 set
// starts it if it is stopped (the first overflow comes one period after that
// write), with bit 1 clear stops it; bit 3 enables its interrupt, that is the
// call of the registered routine at each overflow. Timer A and CSM are not
// emulated.
//
// Schedule: overflow times are absolute, kept in whole clock cycles from an
// anchor, so they never drift. The period of each interval is taken from the
// N in force when the interval begins, i.e. when the call for the previous
// overflow returns: an N written inside that call sets the next deadline.
// Writing 0x14 with bit 1 set while Timer B already runs does not restart it
// (as on the chip, the load bit only acts when it goes from 0 to 1), so a
// re-arm from any thread keeps the schedule; its N applies from the next
// interval on. A thread that wakes late makes the missed calls at once; more
// than a second late (a suspended machine) it starts a new schedule from now.
//
// Calls: from the timer thread only, one at a time, none after Free returns.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace x68timer {

using TimerRoutine = void (*)();

inline constexpr uint32_t kDefaultClockHz = 4'000'000;
inline constexpr uint8_t kTimerBLoadRegister = 0x12;
inline constexpr uint8_t kTimerControlRegister = 0x14;

constexpr uint32_t TimerBPeriodCycles(uint8_t n) {
  return 1024u * (256u - n);
}

class OpmTimer {
 public:
  OpmTimer() = default;
  ~OpmTimer();
  OpmTimer(const OpmTimer&) = delete;
  OpmTimer& operator=(const OpmTimer&) = delete;

  // Sets the master clock; 0 is refused (result 1). A running schedule keeps
  // its pending overflow and counts the intervals after it at the new clock.
  int SetClock(uint32_t clock_hz);
  // Resets the registers and starts the timer thread. 0 when started, 1 when
  // already started, 2 when no thread could be made.
  int Start();
  // The routine called at each overflow; nullptr for none.
  void SetInterrupt(TimerRoutine routine);
  void SelectRegister(uint8_t reg);
  // Writes the selected register.
  void Write(uint8_t value);
  // Stops everything and forgets the routine. From another thread it waits
  // until a call in progress has returned and the timer thread has ended;
  // from inside a call, that call is the last one.
  void Free();

 private:
  void Run(uint64_t epoch);
  void WriteControl(uint8_t value);
  int64_t DueNs() const;
  // Joins a thread whose epoch is over, or parks it in retired_ when it is
  // the caller itself.
  void JoinOrPark(std::thread thread);

  std::mutex mutex_;
  std::condition_variable wake_;           // the timer thread: work to do, or stop
  std::condition_variable callback_done_;  // a call of the routine has returned

  uint32_t clock_hz_ = kDefaultClockHz;
  bool started_ = false;
  TimerRoutine routine_ = nullptr;
  uint8_t selected_ = 0;
  uint8_t timer_b_load_ = 0;
  bool timer_b_running_ = false;
  bool timer_b_irq_ = false;

  int64_t anchor_ns_ = 0;
  uint64_t due_cycles_ = 0;  // the next overflow, in clock cycles after anchor_ns_
  uint64_t schedule_ = 0;    // counts starts of Timer B from stopped
  uint64_t epoch_ = 0;       // counts Free calls; an older thread ends

  bool in_callback_ = false;
  std::thread worker_;
  std::thread retired_;  // a thread stopped from inside its own call, joined later
};

}  // namespace x68timer
