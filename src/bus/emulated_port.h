// A Port in front of an emulated chip: decodes the bus traffic of each
// register write and stamps it with its place on the chip's time line.
#pragma once

#include <cstdint>

#include "bus/bus_timeline.h"
#include "bus/port.h"

namespace opl2 {

struct TimedWrite {
  uint64_t clock;   // master clock of the write
  uint64_t sample;  // applied before this sample
  uint8_t reg;
  uint8_t value;
};

class TimedWriteSink {
 public:
  virtual ~TimedWriteSink() = default;
  virtual void OnTimedWrite(const TimedWrite& write) = 0;
};

class EmulatedPort : public Port {
 public:
  EmulatedPort(BusTimeline* timeline, TimedWriteSink* sink) : timeline_(timeline), sink_(sink) {}

  void Out(uint16_t port, uint8_t value) override;
  uint8_t In(uint16_t port, int count) override;

 private:
  BusTimeline* timeline_;
  TimedWriteSink* sink_;
  uint8_t address_ = 0;
};

}  // namespace opl2
