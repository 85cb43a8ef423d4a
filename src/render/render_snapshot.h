// The whole state of a render at a tick boundary: the engine's playing state,
// the chip, the bus time line and the virtual timer, and where the render
// stands. The song itself is not in it: it never changes while it plays.
// Fixed size (about 7 KB), copied as a plain value.
#pragma once

#include <array>
#include <cstdint>

#include "bus/bus_timeline.h"
#include "bus/virtual_timer.h"
#include "chip/opl2_chip.h"
#include "sequencer/channel_state.h"

namespace opl2 {

// Loop depths a snapshot keeps per channel. Depths above a channel's open
// loops are written again before they are read, so these are all that
// matter while no more loops are open.
inline constexpr int kSnapshotLoopDepths = 16;

struct RenderSnapshot {
  std::array<ChannelState, kChannelCount> channels{};
  std::array<std::array<int32_t, kSnapshotLoopDepths>, kChannelCount> loop_start{};
  std::array<std::array<int32_t, kSnapshotLoopDepths>, kChannelCount> loop_count{};
  SequencerState seq{};
  Chip chip;
  std::array<uint8_t, 256> applied_registers{};
  BusTimeline timeline;
  VirtualTimerB timer;
  uint64_t position = 0;
  uint64_t next_tick_sample = 0;
  uint64_t end_sample = 0;
  uint64_t fade_start = 0;
  uint64_t fade_clock = 0;
  uint64_t tick_clock = 0;
  bool cut_fade_decided = false;
  bool cut_fading = false;
};

}  // namespace opl2
