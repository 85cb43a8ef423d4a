// The tick scheduler, the track event interpreter and the pitch slide.
#pragma once

#include <cstdint>

#include "sequencer/channel_state.h"
#include "song/event_table.h"

namespace opl2 {

// Guards for damaged tracks. A step that has read kRowCheckEvents events
// without closing its row goes on only if the row closes (a note, a rest, a
// slide or the track's end) within kMaxEventsPerRow events in all, 2^24:
// room for three nested loops of 255 around one event. Any other row (one
// that provably never closes, or closes later) stops the channel there. An
// event fetched at or past the end of the track buffer stops the channel,
// and so does a loop opened at depth 255.
inline constexpr int kRowCheckEvents = 65'536;
inline constexpr int kMaxEventsPerRow = 1 << 24;

// The most register writes a tick makes while each row it reads has at most
// kRowCheckEvents events (every row that does not close, and every closing
// row but those of longer nested loops): each channel's step reads at most
// kRowCheckEvents events, an event makes at most 10 writes (an instrument
// change: the key-off and the 9 patch registers), then come 4 slide steps of
// 2 writes and the key-off that stops a channel. A closing row of up to
// kMaxEventsPerRow events can make up to kMaxWritesPerEvent writes for each.
inline constexpr uint64_t kMaxWritesPerEvent = 10;
inline constexpr uint64_t kMaxWritesPerTick =
    kChannelCount * (static_cast<uint64_t>(kRowCheckEvents) * kMaxWritesPerEvent + 4 * 2 + 1);

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
