#include "opl/register_port.h"

#include <cstdint>

namespace opl2 {

void OplWrite(Port& port, int reg, int value) {
  port.Out(kOplAddressPort, static_cast<uint8_t>(reg));
  port.In(kOplAddressPort, kDelayReadsAfterAddress);
  port.Out(kOplDataPort, static_cast<uint8_t>(value));
  port.In(kOplAddressPort, kDelayReadsAfterData);
}

void OplReset(Port& port) {
  for (int reg = 0; reg <= kLastResetRegister; ++reg) OplWrite(port, reg, 0);
}

}  // namespace opl2
