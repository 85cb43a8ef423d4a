#include "reg_pacing.h"

#include <algorithm>

#include "bus/bus_timeline.h"

namespace opl2tool {

opl2::RegStream PaceRegStream(const opl2::RegStream& stream) {
  using Kind = opl2::RegCommand::Kind;
  opl2::RegStream out;
  out.total_samples = stream.total_samples;
  uint64_t position = 0;  // samples the input has advanced
  uint64_t bus = 0;       // master clock at which the bus is next free
  uint64_t emitted = 0;   // samples the output has advanced
  for (const opl2::RegCommand& c : stream.commands) {
    if (c.kind == Kind::kAdvance) {
      position += c.samples;
      continue;
    }
    bus = std::max(bus, position * opl2::kMasterClocksPerSample);
    const uint64_t at = std::min(bus / opl2::kMasterClocksPerSample, stream.total_samples);
    bus += opl2::kMasterClocksPerWrite;
    if (at > emitted) {
      out.commands.push_back({Kind::kAdvance, 0, 0, at - emitted});
      emitted = at;
    }
    out.commands.push_back(c);
  }
  if (stream.total_samples > emitted) {
    out.commands.push_back({Kind::kAdvance, 0, 0, stream.total_samples - emitted});
  }
  return out;
}

}  // namespace opl2tool
