// What the player knows of a song before it sounds, from a run of its ticks
// alone: how it ends, and where each pass through a looping song begins,
// for the "pass" display. A pass ends when every running channel with a loop point has
// jumped back to it once more (the count the render's end rule uses), so
// with `loops` N the song plays N + 1 passes, the last one fading out.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "render/song_renderer.h"

namespace opl2::jukebox {

struct LoopPasses {
  // Sample at which pass 2, 3, ... begins (the tick of the jump that ends
  // the pass before). Empty for a song that never loops.
  std::vector<uint64_t> starts;

  // The pass playing at `sample`: 1 before the first jump back. 0 for a
  // song that does not loop.
  int PassAt(uint64_t sample) const;
};

struct SongScan {
  LoopPasses passes;
  // As the library's own look ahead finds it with the same options: the
  // exact end when known, or where every channel stops (the sound ends once
  // the chip falls silent after it), or neither (plays past the horizon).
  EndScan end;
};

// Runs the song's ticks alone (no chip), as the render would with
// `options`, up to `horizon_samples` or the end. Bytes that are not a song
// give no passes and a silent end.
SongScan ScanSong(std::span<const uint8_t> bytes, const RenderOptions& options,
                  uint64_t horizon_samples);

}  // namespace opl2::jukebox
