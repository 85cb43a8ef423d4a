// The bus the OPL2 chip sits on: byte writes to a port, status reads.
#pragma once

#include <cstdint>

namespace opl2 {

inline constexpr uint16_t kOplAddressPort = 0x388;  // write: register index; read: status
inline constexpr uint16_t kOplDataPort = 0x389;     // write: data for the addressed register

class Port {
 public:
  virtual ~Port() = default;
  // Writes one byte to a port.
  virtual void Out(uint16_t port, uint8_t value) = 0;
  // Reads a port `count` times in a row (count >= 1) and returns the last byte read.
  // Status reads only pass time; a port may count them as bus time.
  virtual uint8_t In(uint16_t port, int count) = 0;
};

}  // namespace opl2
