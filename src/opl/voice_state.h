// What the voice driver keeps of one melodic channel: its pitch as the two
// register bytes, the key, the detune, and the levels of its current patch.
#pragma once

#include <cstdint>

namespace opl2 {

struct VoiceState {
  int16_t detune = 0;
  int32_t key_flag = 0;
  int32_t fnum_low = 0;
  int32_t block_fnum_high = 0;
  int32_t mod_level = 0;
  int32_t car_level = 0;
  int32_t mod_ksl = 0;
  int32_t car_ksl = 0;
  int32_t connection = 0;
};

}  // namespace opl2
