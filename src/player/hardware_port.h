// The real OPL2 on the ISA bus at 0x388/0x389, through ioperm(2). Needs root
// or CAP_SYS_RAWIO, and an x86 machine.
#pragma once

#include <string>

#include "bus/port.h"

namespace opl2 {

class HardwarePort : public Port {
 public:
  // Asks the kernel for the two ports. False with *error set when refused.
  static bool Acquire(std::string* error);

  void Out(uint16_t port, uint8_t value) override;
  uint8_t In(uint16_t port, int count) override;
};

}  // namespace opl2
