// Any bytes as a song file: loaded by the player's loader, then played
// for OPL2_FUZZ_TICKS ticks on a recording port. Checked on every tick:
//  - no channel steps more than kMaxEventsPerRow events, so a tick is bounded;
//  - every event is fetched from inside its channel's track buffer and leaves
//    read_pos where the next fetch is still guarded (ASan cannot see a read
//    from one track buffer into the next: they sit in one object);
//  - loop depth stays within the loop tables;
//  - every register write addresses 0x00..0xF5, only the two chip ports are
//    used, and a tick's writes are bounded by its events.
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <span>

#include "bus/recording_port.h"
#include "opl/register_port.h"
#include "sequencer/sequencer.h"
#include "sequencer/song_start.h"
#include "song/song_loader.h"

#ifndef OPL2_FUZZ_TICKS
#define OPL2_FUZZ_TICKS 20000
#endif
#ifndef OPL2_FUZZ_EVENT_BUDGET
#define OPL2_FUZZ_EVENT_BUDGET 2000000
#endif

namespace {

using opl2::Engine;
using opl2::kChannelCount;
using opl2::kMaxEventsPerRow;
using opl2::kTrackBufferSize;

// An input that keeps every tick at tens of thousands of events is checked
// for its first ticks only (two million events); playing it to the end
// would take minutes per input and prove nothing more about one tick. (One
// tick can hold up to 9 x 2^24 events; the unit tests step such rows.)
constexpr long kEventBudget = OPL2_FUZZ_EVENT_BUDGET;
// The most register writes one event makes (instrument: key-off and a patch).
constexpr long kMaxWritesPerEvent = 10;
// A channel's step: its events, then possibly a stop; then four slide steps.
constexpr long kMaxWritesPerTick =
    kChannelCount * (kMaxEventsPerRow * kMaxWritesPerEvent + 1 + 4 * 2);
// Furthest an event moves read_pos past the byte after its code.
constexpr int kMaxOperandBytes = 4;

[[noreturn]] void Fail(const char* what, long a, long b) {
  std::fprintf(stderr, "fuzz_song: %s (%ld, %ld)\n", what, a, b);
  std::abort();
}

std::array<long, kChannelCount> g_step_events{};
long g_total_events = 0;

class Checker : public opl2::RegisterWriteSink, public opl2::TimerB {
 public:
  void OnRegisterWrite(uint8_t reg, uint8_t) override {
    if (reg > opl2::kLastResetRegister) Fail("register out of range", reg, 0);
    ++tick_writes;
  }
  void Arm(uint8_t) override { ++arms; }
  long tick_writes = 0;
  long arms = 0;
};

bool Quiet(const Engine& e) {
  for (const opl2::ChannelState& ch : e.channels) {
    if (ch.active == 1 || ch.slide_active == 1) return false;
  }
  return true;
}

}  // namespace

extern "C" void __real__ZN4opl214InterpretEventERNS_6EngineEi(Engine& engine, int channel);

// Every event the sequencer interprets comes through here.
extern "C" void __wrap__ZN4opl214InterpretEventERNS_6EngineEi(Engine& engine, int channel) {
  if (channel < 0 || channel >= kChannelCount) Fail("channel", channel, 0);
  const opl2::ChannelState& ch = engine.channels[channel];
  // The code was fetched at read_pos - 1.
  if (ch.read_pos < 1 || ch.read_pos > kTrackBufferSize)
    Fail("event fetched outside its track", channel, ch.read_pos);
  if (ch.current_event < 0 || ch.current_event > 0xFF)
    Fail("event code", channel, ch.current_event);
  ++g_step_events[channel];
  ++g_total_events;
  __real__ZN4opl214InterpretEventERNS_6EngineEi(engine, channel);
  if (ch.read_pos < 0 || ch.read_pos > kTrackBufferSize + kMaxOperandBytes) {
    Fail("read_pos left the guarded range", channel, ch.read_pos);
  }
  if (ch.loop_depth < 0 || ch.loop_depth >= opl2::kLoopDepths)
    Fail("loop depth", channel, ch.loop_depth);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static auto song = std::make_unique<opl2::Song>();
  Checker checker;
  opl2::RecordingPort port(&checker);
  auto engine = std::make_unique<Engine>();
  engine->port = &port;
  engine->timer = &checker;

  const bool loaded =
      opl2::LoadSong(std::span<const uint8_t>(data, size), *song) == opl2::LoadResult::kLoaded;
  opl2::StartSong(*engine, loaded ? song.get() : nullptr);

  g_total_events = 0;
  for (int tick = 0; tick < OPL2_FUZZ_TICKS; ++tick) {
    if (Quiet(*engine) || g_total_events > kEventBudget) break;
    g_step_events.fill(0);
    checker.tick_writes = 0;
    opl2::TimerTick(*engine);
    for (int c = 0; c < kChannelCount; ++c) {
      if (g_step_events[c] > kMaxEventsPerRow) Fail("events in one step", c, g_step_events[c]);
    }
    if (checker.tick_writes > kMaxWritesPerTick)
      Fail("writes in one tick", tick, checker.tick_writes);
  }
  if (port.stray_accesses() != 0) Fail("access to a port other than the chip's", 0, 0);
  if (port.address_writes() != port.data_writes()) Fail("unpaired register write", 0, 0);
  return 0;
}
