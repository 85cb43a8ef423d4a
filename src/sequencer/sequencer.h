// The tick scheduler, the track event interpreter and the pitch slide.
#pragma once

#include <cstdint>

#include "sequencer/channel_state.h"
#include "song/event_table.h"

namespace opl2 {

// Guards for damaged tracks. A step that has read this many events without
// closing its row stops the channel; so does an event fetched at or past the
// end of the track buffer; so does a loop opened at depth 255.
inline constexpr int kMaxEventsPerStep = 65'536;

// The most register writes one tick can make: each channel's step reads at
// most kMaxEventsPerStep events, an event makes at most 10 writes (an
// instrument change: the key-off and the 9 patch registers), then come 4
// slide steps of 2 writes and the key-off that stops a channel.
inline constexpr uint64_t kMaxWritesPerEvent = 10;
inline constexpr uint64_t kMaxWritesPerTick =
    kChannelCount * (static_cast<uint64_t>(kMaxEventsPerStep) * kMaxWritesPerEvent + 4 * 2 + 1);

// One Timer B period: counts, reads rows, steps slides, re-arms the timer.
void TimerTick(Engine& engine);
void SequencerTick(Engine& engine);
void StepChannel(Engine& engine, int channel);
void InterpretEvent(Engine& engine, int channel);
// Ends the channel for good: it is keyed off and never read again.
void StopChannel(Engine& engine, int channel);

// Arms Timer B with the current timer_b_value (nothing without a timer).
void ArmTimerB(Engine& engine);

void SetSlideTarget(Engine& engine, int channel, int end_note);
void SlideTick(Engine& engine, int channel);
void SlideUp(Engine& engine, int channel);
void SlideDown(Engine& engine, int channel);
void SlideStepUp(Engine& engine, int channel);
void SlideStepDown(Engine& engine, int channel);

}  // namespace opl2
