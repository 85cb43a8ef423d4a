// Windows keeps the I/O ports from user programs: reaching the OPL2 at
// 0x388/0x389 needs a kernel-mode port driver, which this player does not
// install. The port is refused with a message that says so.
#include "player/hardware_port.h"

namespace opl2 {

bool HardwarePort::Acquire(std::string* error) {
  *error = "direct access to the OPL2 ports 0x388-0x389 needs a port driver on Windows";
  return false;
}

void HardwarePort::Out(uint16_t, uint8_t) {}

uint8_t HardwarePort::In(uint16_t, int) {
  return 0xFF;
}

}  // namespace opl2
