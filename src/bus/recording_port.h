// A port that decodes the bus traffic back into register writes, for traces,
// tests and tools. It keeps every port access count and hands each completed
// register write (address then data) to a sink.
#pragma once

#include <cstdint>

#include "bus/port.h"

namespace opl2 {

class RegisterWriteSink {
 public:
  virtual ~RegisterWriteSink() = default;
  virtual void OnRegisterWrite(uint8_t reg, uint8_t value) = 0;
};

class RecordingPort : public Port {
 public:
  explicit RecordingPort(RegisterWriteSink* sink = nullptr) : sink_(sink) {}

  void Out(uint16_t port, uint8_t value) override;
  uint8_t In(uint16_t port, int count) override;

  void set_sink(RegisterWriteSink* sink) { sink_ = sink; }

  uint64_t address_writes() const { return address_writes_; }
  uint64_t data_writes() const { return data_writes_; }
  uint64_t status_reads() const { return status_reads_; }
  // Accesses to ports other than 0x388/0x389, and reads of 0x389: never expected.
  uint64_t stray_accesses() const { return stray_accesses_; }
  uint8_t last_address() const { return address_; }

 private:
  RegisterWriteSink* sink_;
  uint8_t address_ = 0;
  uint64_t address_writes_ = 0;
  uint64_t data_writes_ = 0;
  uint64_t status_reads_ = 0;
  uint64_t stray_accesses_ = 0;
};

}  // namespace opl2
