#include "player/hardware_port.h"

#include <cerrno>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <sys/io.h>
#define OPL2_HAVE_PORT_IO 1
#endif

namespace opl2 {

#ifdef OPL2_HAVE_PORT_IO

bool HardwarePort::Acquire(std::string* error) {
  if (ioperm(kOplAddressPort, 2, 1) == 0) return true;
  *error = std::string("no access to the OPL2 ports 0x388-0x389 (") + std::strerror(errno) +
           "): run as root or with CAP_SYS_RAWIO";
  return false;
}

void HardwarePort::Out(uint16_t port, uint8_t value) {
  outb(value, port);
}

uint8_t HardwarePort::In(uint16_t port, int count) {
  uint8_t value = 0;
  for (int i = 0; i < count; ++i) value = inb(port);
  return value;
}

#else

bool HardwarePort::Acquire(std::string* error) {
  *error = "the OPL2 ports 0x388-0x389 exist only on x86 machines";
  return false;
}
void HardwarePort::Out(uint16_t, uint8_t) {}
uint8_t HardwarePort::In(uint16_t, int) {
  return 0xFF;
}

#endif

}  // namespace opl2
