// The queue of stamped writes and the chip the device pulls through it: the
// busiest tick an engine can make fits the size the player gives the queue;
// the end fades to 0.
#include "output/queued_chip.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "bus/bus_timeline.h"
#include "bus/emulated_port.h"
#include "engine/harness.h"
#include "songfile/song_file.h"

namespace opl2::test {
namespace {

// Every channel changes instrument again and again in one row: 65,536 events
// per channel, nearly all of them 10 writes. The tick that reads those rows
// is the busiest a song can make, and the queue takes all of it.
TEST(StampedWriteQueue, HoldsTheBusiestTickASongCanMake) {
  Bytes track = {EV_LOOP_POINT};
  for (int i = 0; i < 1000; ++i) {
    track.push_back(EV_SET_INSTRUMENT);
    track.push_back(1);
  }
  track.push_back(EV_END);
  std::array<Bytes, kChannelCount> tracks;
  tracks.fill(track);
  TempFile song(BuildSong(tracks, {{1, {1, 2, 3, 4, 5, 6, 7, 8, 9}}}));

  class Sink : public TimedWriteSink {
   public:
    explicit Sink(StampedWriteQueue& q) : queue(q) {}
    void OnTimedWrite(const TimedWrite& w) override {
      if (!queue.PushWrite(w.clock, w.reg, w.value)) ++lost;
    }
    StampedWriteQueue& queue;
    uint64_t lost = 0;
  };
  auto queue = std::make_unique<StampedWriteQueue>(kMaxWritesPerTick);
  Sink sink(*queue);
  BusTimeline timeline;
  EmulatedPort port(&timeline, &sink);
  auto engine = std::make_unique<Engine>();
  auto storage = std::make_unique<Song>();
  engine->port = &port;
  ASSERT_EQ(StartSongFile(*engine, *storage, song.path()), LoadResult::kLoaded);
  const uint64_t before = queue->writes_pushed();
  for (int tick = 0; tick < 16; ++tick) TimerTick(*engine);  // the rows are read on the 16th
  const uint64_t tick_writes = queue->writes_pushed() - before;
  EXPECT_EQ(sink.lost, 0u);
  EXPECT_LE(tick_writes, kMaxWritesPerTick);
  EXPECT_GE(tick_writes * 100, kMaxWritesPerTick * 99);
}

// A note, then the chip's registers cleared as at shutdown: the output
// freezes on the envelope's last value (a step on a speaker). From the fade
// marker on it ramps down to 0 within 5 ms and stays there; before it, the
// output is the chip's own.
TEST(QueuedChip, FadesTheFrozenEndOfTheOutputToZero) {
  struct Write {
    uint64_t sample;
    uint8_t reg;
    uint8_t value;
  };
  std::vector<Write> writes;
  uint64_t clock = 0;
  auto write = [&](uint8_t reg, uint8_t value) {
    writes.push_back({BusTimeline::SampleOfWrite(clock), reg, value});
    clock += kMasterClocksPerWrite;
  };
  for (auto [reg, value] : std::vector<std::pair<uint8_t, uint8_t>>{{0x20, 0x21},
                                                                    {0x23, 0x21},
                                                                    {0x40, 0x10},
                                                                    {0x43, 0x00},
                                                                    {0x60, 0xF0},
                                                                    {0x63, 0xF0},
                                                                    {0x80, 0x00},
                                                                    {0x83, 0x00},
                                                                    {0xA0, 0x98},
                                                                    {0xB0, 0x31}}) {
    write(reg, value);
  }
  clock = 20'000 * kMasterClocksPerSample;  // the note sounds for 0.4 s
  write(0xB0, 0x11);                        // key off (release rate 0: it stays)
  for (int reg = 0; reg <= 0xF5; ++reg) write(static_cast<uint8_t>(reg), 0);
  const uint64_t fade_at = BusTimeline::SampleOfWrite(clock) + 1000;
  constexpr size_t kTotal = 30'000;

  // The chip on its own, each write before its sample.
  Chip reference;
  reference.Reset();
  std::vector<int16_t> expected(kTotal);
  size_t next = 0;
  for (size_t i = 0; i < kTotal; ++i) {
    for (; next < writes.size() && writes[next].sample <= i; ++next) {
      reference.Write(writes[next].reg, writes[next].value);
    }
    expected[i] = reference.Sample();
  }
  const int16_t frozen = expected[fade_at];
  ASSERT_GT(std::abs(frozen), 1000) << "the setup must leave a step to fade";
  ASSERT_EQ(expected[kTotal - 1], frozen);

  auto chip = std::make_unique<QueuedChip>(1000);
  chip->queue().PushMarker(0, StampKind::kReset);
  clock = 0;
  for (const Write& w : writes) {
    // Same samples through the queue's clocks.
    ASSERT_TRUE(chip->queue().PushWrite((w.sample - 1) * kMasterClocksPerSample, w.reg, w.value));
  }
  chip->queue().PushMarker(fade_at, StampKind::kFade);
  std::vector<int16_t> out(kTotal);
  for (size_t i = 0; i < kTotal; i += 480) {
    chip->Produce(out.data() + i, static_cast<int>(std::min<size_t>(480, kTotal - i)));
  }

  for (size_t i = 0; i < fade_at; ++i) ASSERT_EQ(out[i], expected[i]) << i;
  EXPECT_LT(std::abs(out[fade_at]), std::abs(frozen) + 1);
  for (size_t i = fade_at; i + 1 < kTotal; ++i) {
    ASSERT_LE(std::abs(out[i + 1]), std::abs(out[i])) << i;                     // never up again
    ASSERT_LE(std::abs(out[i] - out[i + 1]), std::abs(frozen) / 200 + 1) << i;  // no step
  }
  const size_t five_ms = static_cast<size_t>(0.005 * kChipSampleRate);
  for (size_t i = fade_at + five_ms; i < kTotal; ++i) ASSERT_EQ(out[i], 0) << i;
  EXPECT_TRUE(chip->silent());
  EXPECT_EQ(chip->late_writes(), 0u);
}

}  // namespace
}  // namespace opl2::test
