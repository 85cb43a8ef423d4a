// Plays a song as `opl2tool render` does (same engine, virtual timer, bus
// time line and length rules, with the emulated chip alongside to tell when a
// stopped song has fallen silent) and logs every register write as a VGM
// file. Where the render would start its fade, the file ends; a song that
// repeats itself exactly loops back (see loop_finder.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "render/loop_finder.h"
#include "render/song_renderer.h"
#include "vgm/gd3_tag.h"
#include "vgm/vgm_writer.h"

namespace opl2::vgm {

struct VgmExportOptions {
  int loops = 2;             // times every looping channel jumps back
  double max_seconds = 600;  // longest export
};

class SongVgmExporter : private RenderObserver {
 public:
  explicit SongVgmExporter(const VgmExportOptions& options);

  // A song read before (null: not a song), or a song file.
  LoadResult Start(const Song* song);
  LoadResult StartFile(const char* song_file_name);

  // Plays on by up to `samples` of the chip's samples; false once the song
  // has ended.
  bool Advance(size_t samples);

  // Once Advance() has returned false: the file. False with a reason when
  // the song does not fit the format.
  bool Finish(const Gd3Tag& tag, VgmImage* image, std::string* error);

  // After Finish(): how the song ended, the master clock of the end, and
  // the loop that was looked for (the file loops when its image says so).
  RenderEnd end_reason() const { return renderer_.end_reason(); }
  uint64_t end_clock() const { return renderer_.end_clock(); }
  const std::optional<LoopStart>& loop() const { return loop_; }
  uint64_t loop_tick() const { return loop_tick_; }
  double seconds_played() const;

 private:
  void BeforeTick(const Engine& engine, uint64_t first_write_clock) override;
  void OnWrite(const TimedWrite& write) override;

  SongRenderer renderer_;
  VgmWriter writer_;
  LoopFinder loop_finder_;
  uint64_t ticks_ = 0;
  std::optional<LoopStart> loop_;
  uint64_t loop_tick_ = 0;
  std::vector<int16_t> scratch_;
  std::unique_ptr<Song> own_song_;  // a song read from a file
};

}  // namespace opl2::vgm
