// The only code that touches the chip: one register write, or a full reset.
#pragma once

#include "bus/port.h"

namespace opl2 {

inline constexpr int kDelayReadsAfterAddress = 6;
inline constexpr int kDelayReadsAfterData = 36;
inline constexpr int kLastResetRegister = 0xF5;

// Sends the low byte of `reg` to the address port, reads the status port 6
// times, sends the low byte of `value` to the data port, reads the status
// port 36 times.
void OplWrite(Port& port, int reg, int value);

// Writes 0 to every register 0x00..0xF5, in ascending order.
void OplReset(Port& port);

// Operator slot offsets of melodic channel 0..8; the carrier is 3 higher.
constexpr int ModulatorSlot(int channel) {
  return (channel / 3) * 8 + channel % 3;
}
constexpr int CarrierSlot(int channel) {
  return ModulatorSlot(channel) + 3;
}

}  // namespace opl2
