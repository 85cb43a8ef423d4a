#include "sequencer/channel_state.h"

namespace opl2 {

void ResetChannelState(Engine& engine) {
  for (ChannelState& ch : engine.channels) {
    ch.read_pos = 0;
    ch.has_loop_point = 0;
    ch.slide_active = 0;
    ch.retrigger = 1;
    ch.detune = 0;
    ch.loop_depth = 0;
    ch.active = 1;
    ch.step_ticks = 16;
    ch.tick_count = 0;
  }
}

}  // namespace opl2
