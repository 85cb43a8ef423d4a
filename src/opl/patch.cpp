#include "opl/register_port.h"
#include "opl/voice.h"

namespace opl2 {

void LoadPatch(Port& port, int channel, VoiceState& voice, const InstrumentPatch& p) {
  const int mod = ModulatorSlot(channel);
  const int car = CarrierSlot(channel);

  voice.mod_level = p[2] & 0x3F;
  voice.mod_ksl = p[2] & 0xC0;
  voice.car_level = p[3] & 0x3F;
  voice.car_ksl = p[3] & 0xC0;
  voice.connection = p[8] & 1;

  OplWrite(port, 0x20 + mod, p[0]);
  OplWrite(port, 0x20 + car, p[1]);
  OplWrite(port, 0x40 + mod, p[2]);
  OplWrite(port, 0x40 + car, p[3]);
  OplWrite(port, 0x60 + mod, p[4]);
  OplWrite(port, 0x60 + car, p[5]);
  OplWrite(port, 0x80 + mod, p[6]);
  OplWrite(port, 0x80 + car, p[7]);
  OplWrite(port, 0xC0 + channel, p[8]);
}

}  // namespace opl2
