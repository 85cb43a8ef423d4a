#include "bus/recording_port.h"

namespace opl2 {

void RecordingPort::Out(uint16_t port, uint8_t value) {
  if (port == kOplAddressPort) {
    address_ = value;
    ++address_writes_;
  } else if (port == kOplDataPort) {
    ++data_writes_;
    if (sink_ != nullptr) sink_->OnRegisterWrite(address_, value);
  } else {
    ++stray_accesses_;
  }
}

uint8_t RecordingPort::In(uint16_t port, int count) {
  if (port == kOplAddressPort) {
    status_reads_ += static_cast<uint64_t>(count);
  } else {
    ++stray_accesses_;
  }
  return 0x06;  // an idle OPL2's status
}

}  // namespace opl2
