// Songs exported to VGM, checked against the engine's own time line, the
// loop rule, and the sound of the render.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bus/bus_timeline.h"
#include "bus/emulated_port.h"
#include "bus/virtual_timer.h"
#include "chip/opl2_chip.h"
#include "engine/busy_song.h"
#include "engine/harness.h"
#include "render/song_renderer.h"
#include "sequencer/sequencer.h"
#include "sequencer/song_start.h"
#include "tools/run_tool.h"
#include "vgm/song_vgm_export.h"
#include "vgm/vgm_format.h"
#include "vgm/vgm_reader.h"

namespace opl2::test {
namespace {

using vgm::WaitOfClock;

constexpr uint64_t kTick180 = 77'824;  // OPM cycles of one tick at Timer B 180

struct Exported {
  vgm::VgmImage image;
  vgm::VgmFile file;
  RenderEnd end = RenderEnd::kNotEnded;
  uint64_t end_clock = 0;
};

Exported Export(const char* song, int loops, double seconds = 600) {
  vgm::VgmExportOptions options;
  options.loops = loops;
  options.max_seconds = seconds;
  vgm::SongVgmExporter exporter(options);
  Exported e;
  EXPECT_EQ(exporter.StartFile(song), LoadResult::kLoaded);
  while (exporter.Advance(50'000)) {
  }
  std::string error;
  EXPECT_TRUE(exporter.Finish({}, &e.image, &error)) << error;
  EXPECT_TRUE(vgm::ReadVgm(e.image.bytes.data(), e.image.bytes.size(), &e.file, &error)) << error;
  e.end = exporter.end_reason();
  e.end_clock = exporter.end_clock();
  return e;
}

// The song's writes on the chip's time line, driven here tick by tick, from
// the start up to master clock `end`.
std::vector<TimedWrite> EngineWrites(const char* song, uint64_t end) {
  struct Sink : TimedWriteSink {
    std::vector<TimedWrite> writes;
    void OnTimedWrite(const TimedWrite& w) override { writes.push_back(w); }
  } sink;
  auto engine = std::make_unique<Engine>();
  BusTimeline timeline;
  VirtualTimerB timer;
  EmulatedPort port(&timeline, &sink);
  engine->port = &port;
  engine->timer = &timer;
  timeline.BeginTick(0);
  auto loaded = std::make_unique<Song>();
  StartSongFile(*engine, *loaded, song);
  while (timer.Advance() && TickStartClock(timer.elapsed()) < end) {
    timeline.BeginTick(timer.elapsed());
    TimerTick(*engine);
  }
  while (!sink.writes.empty() && sink.writes.back().clock >= end) sink.writes.pop_back();
  return sink.writes;
}

using RegValues = std::vector<std::pair<int, int>>;

RegValues OfVgm(const vgm::VgmFile& f, size_t from) {
  RegValues out;
  for (size_t i = from; i < f.writes.size(); ++i)
    out.emplace_back(f.writes[i].reg, f.writes[i].value);
  return out;
}

// Checks every write and the length against the engine's own time line.
void ExpectOnTheEngineTimeLine(const char* song, const Exported& e) {
  const std::vector<TimedWrite> expected = EngineWrites(song, e.end_clock);
  ASSERT_EQ(e.file.writes.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    ASSERT_EQ(e.file.writes[i].sample, WaitOfClock(expected[i].clock)) << "write " << i;
    ASSERT_EQ(e.file.writes[i].reg, expected[i].reg) << "write " << i;
    ASSERT_EQ(e.file.writes[i].value, expected[i].value) << "write " << i;
  }
  EXPECT_EQ(e.file.total_samples, WaitOfClock(e.end_clock));
}

// The looped part of the file is what the song plays after the end: the
// engine, run on past the end for one more loop, makes the same writes.
void ExpectLoopPlaysOn(const char* song, const Exported& e) {
  ASSERT_TRUE(e.file.loop_first_write.has_value());
  const uint64_t loop_clock =
      e.end_clock - uint64_t{e.file.loop_samples} * vgm::kYm3812Clock / vgm::kSampleRate;
  const std::vector<TimedWrite> on = EngineWrites(song, e.end_clock + (e.end_clock - loop_clock));
  RegValues after_end;
  for (const TimedWrite& w : on) {
    if (w.clock >= e.end_clock) after_end.emplace_back(w.reg, w.value);
  }
  const RegValues looped = OfVgm(e.file, *e.file.loop_first_write);
  ASSERT_FALSE(looped.empty());
  // The run past the end stops at a rounded clock: compare what both hold.
  const size_t n = std::min(looped.size(), after_end.size());
  EXPECT_GE(n + 4, looped.size());
  EXPECT_EQ(RegValues(looped.begin(), looped.begin() + n),
            RegValues(after_end.begin(), after_end.begin() + n));
}

TEST(VgmExport, OneLoopingChannelEndsWhereTheFadeWouldStartAndLoopsFromItsFirstPass) {
  // Intro 16 + 8 ticks, then a loop of 16 ticks; the third jump back ends it.
  TempFile song(SongWithTrack0({0x40, 0x08, 0xF6, 0x44, 0x10, 0x80}));
  const Exported e = Export(song.path(), 3);
  EXPECT_EQ(e.end, RenderEnd::kLoopsDone);
  EXPECT_EQ(e.end_clock, TickStartClock((24 + 3 * 16) * kTick180));
  ExpectOnTheEngineTimeLine(song.path(), e);
  EXPECT_EQ(e.file.loop_samples, e.file.total_samples - WaitOfClock(TickStartClock(24 * kTick180)));
  ExpectLoopPlaysOn(song.path(), e);
}

TEST(VgmExport, ASongThatStopsEndsWithTheRenderAndNeverLoops) {
  TempFile song(SongWithTrack0({0xFF, 0x01, 0x40, 0x10, 0x80},
                               {{1, {0x01, 0x01, 0x10, 0x00, 0xF0, 0xF0, 0x77, 0x77, 0}}}));
  const Exported e = Export(song.path(), 2);
  EXPECT_EQ(e.end, RenderEnd::kChannelsStopped);
  RenderOptions o;
  o.fade_seconds = 0;
  SongRenderer r(o);
  const FileSong loaded(song.path());
  r.Start(loaded.get());
  int16_t block[4096];
  while (r.Render(block, 4096) > 0) {
  }
  EXPECT_EQ(e.end_clock, r.samples_rendered() * 72);
  ExpectOnTheEngineTimeLine(song.path(), e);
  EXPECT_EQ(e.file.loop_offset, 0u);
  EXPECT_EQ(e.file.loop_samples, 0u);
}

TEST(VgmExport, SecondsCapTheExport) {
  TempFile song(SongWithTrack0({0x40, 0x00}));  // holds its note for ever
  const Exported e = Export(song.path(), 2, 2.5);
  EXPECT_EQ(e.end, RenderEnd::kCap);
  EXPECT_EQ(e.end_clock, static_cast<uint64_t>(std::llround(2.5 * kChipSampleRate)) * 72);
  EXPECT_EQ(e.file.total_samples, WaitOfClock(e.end_clock));
  EXPECT_EQ(e.file.loop_offset, 0u);
}

TEST(VgmExport, ChannelsWithDifferentLoopLengthsLoopOnlyWhenTheEndLinesUp) {
  // Channel 0 loops every 16 ticks, channel 1 every 24, both from tick 24.
  std::array<Bytes, kChannelCount> tracks;
  tracks.fill(Bytes{EV_END});
  tracks[0] = {0x40, 0x08, 0xF6, 0x44, 0x10, 0x80};
  tracks[1] = {0x30, 0x08, 0xF6, 0x34, 0x0C, 0x37, 0x0C, 0x80};
  TempFile song(BuildSong(tracks));
  // One jump each: the end (tick 48) finds channel 0 halfway through its
  // loop, a state no earlier tick had. No loop.
  const Exported one = Export(song.path(), 1);
  EXPECT_EQ(one.end_clock, TickStartClock(48 * kTick180));
  EXPECT_EQ(one.file.loop_offset, 0u);
  // Two jumps each: the end (tick 72) is 48 ticks, both loops' common
  // length, after tick 24, where both channels started their first pass.
  const Exported two = Export(song.path(), 2);
  EXPECT_EQ(two.end_clock, TickStartClock(72 * kTick180));
  ExpectOnTheEngineTimeLine(song.path(), two);
  EXPECT_EQ(two.file.loop_samples,
            two.file.total_samples - WaitOfClock(TickStartClock(24 * kTick180)));
  ExpectLoopPlaysOn(song.path(), two);
}

TEST(VgmExport, AFirstPassThatWritesDifferentlyStaysOutsideTheLoop) {
  // The intro ends on a rest, every later pass on a note: the loop's first
  // note sets its pitch with the key off on the first pass, on later ones
  // with the key still on. Only the passes after the first repeat exactly.
  TempFile song(SongWithTrack0({0x0F, 0x08, 0xF6, 0x40, 0x10, 0x80}));
  EXPECT_EQ(Export(song.path(), 1).file.loop_offset, 0u);
  const Exported e = Export(song.path(), 2);
  EXPECT_EQ(e.end_clock, TickStartClock(56 * kTick180));
  EXPECT_EQ(e.file.loop_samples, e.file.total_samples - WaitOfClock(TickStartClock(40 * kTick180)));
  ExpectLoopPlaysOn(song.path(), e);
}

TEST(VgmExport, BusySongOnTheTimeLineAndItsLoop) {
  // All nine channels loop with the same timing; their first pass enters
  // the loop from the start of the track, the later ones from its end, so
  // the loop covers the passes after the first.
  TempFile song(BusySong());
  std::vector<Exported> e;
  for (int loops : {1, 2, 3}) {
    SCOPED_TRACE(loops);
    e.push_back(Export(song.path(), loops));
    EXPECT_EQ(e.back().end, RenderEnd::kLoopsDone);
    ExpectOnTheEngineTimeLine(song.path(), e.back());
  }
  EXPECT_EQ(e[0].file.loop_offset, 0u);
  const uint32_t pass = e[1].file.total_samples - e[0].file.total_samples;
  EXPECT_NEAR(e[1].file.loop_samples, pass, 1);
  EXPECT_NEAR(e[2].file.loop_samples, 2 * pass, 1);
  ExpectLoopPlaysOn(song.path(), e[1]);
  ExpectLoopPlaysOn(song.path(), e[2]);
}

}  // namespace
}  // namespace opl2::test
