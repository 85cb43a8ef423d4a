#include <algorithm>
#include <cstdlib>

#include "opl/register_port.h"
#include "opl/voice.h"

namespace opl2 {

void SetVolume(Port& port, int channel, const VoiceState& ch, int volume) {
  const int attenuation = 63 - volume / 2;
  const int difference = std::abs(ch.mod_level - ch.car_level);
  int mod_level = attenuation;
  int car_level = attenuation;
  if (ch.connection == 1) {
    if (ch.car_level > ch.mod_level) {
      car_level += difference;
    } else {
      mod_level += difference;
    }
  }
  // Volumes above 127 would give a negative attenuation that spills into the
  // key-scale bits: hold every level within the 6-bit field.
  mod_level = std::clamp(mod_level, 0, 63);
  car_level = std::clamp(car_level, 0, 63);
  if (ch.connection == 1) {
    OplWrite(port, 0x40 + ModulatorSlot(channel), ch.mod_ksl + mod_level);
  }
  OplWrite(port, 0x40 + CarrierSlot(channel), ch.car_ksl + car_level);
}

}  // namespace opl2
