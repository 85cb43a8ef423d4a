// A song as a value: the instrument bank and the nine track buffers, as the
// loader leaves them. Nothing in it changes while the song plays, so any
// number of players can share one.
#pragma once

#include <array>
#include <cstdint>

#include "song/song_format.h"

namespace opl2 {

using TrackBuffer = std::array<uint8_t, kTrackBufferSize>;
using InstrumentBank = std::array<InstrumentPatch, kBankSlots>;

// About 600 KB; allocate it, do not put it on a small stack.
struct Song {
  InstrumentBank bank{};
  std::array<TrackBuffer, kChannelCount> tracks{};
};

}  // namespace opl2
