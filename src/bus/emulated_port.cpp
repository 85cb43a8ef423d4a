#include "bus/emulated_port.h"

namespace opl2 {

void EmulatedPort::Out(uint16_t port, uint8_t value) {
  if (port == kOplAddressPort) {
    address_ = value;
  } else if (port == kOplDataPort) {
    const uint64_t clock = timeline_->NextWriteClock();
    sink_->OnTimedWrite({clock, BusTimeline::SampleOfWrite(clock), address_, value});
  }
}

// The status reads are the bus time already counted per write.
uint8_t EmulatedPort::In(uint16_t, int) {
  return 0x06;
}

}  // namespace opl2
