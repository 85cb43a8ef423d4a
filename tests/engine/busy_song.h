// A song that keeps all 9 channels busy: looping rows of instrument and
// volume changes, detuned notes, ties, rests and a slide on every channel.
#pragma once

#include "harness.h"

namespace opl2::test {

inline Bytes BusySong() {
  std::array<Bytes, kChannelCount> tracks;
  for (int c = 0; c < kChannelCount; ++c) {
    const uint8_t low = static_cast<uint8_t>(0x30 + c % 4);
    const uint8_t high = static_cast<uint8_t>(0x50 + c % 3);
    tracks[c] = {0xF6,  // loop point
                 0xFF, static_cast<uint8_t>(1 + c % 2),
                 0xFD, static_cast<uint8_t>(0x60 + 4 * c),
                 0xFA, static_cast<uint8_t>(c),
                 0x00, 0xDA,
                 low,  high,
                 0x03,  // slide up over 3 ticks
                 0xF9, 0x00,
                 0x00, 0x40,
                 0x01, 0xFB,
                 0x44, 0x01,
                 0xF8, 0x02,
                 0x00, 0x00,
                 0x00, 0xDA,
                 high, low,
                 0x02,  // slide down
                 0x0F, 0x01,
                 0x80};
  }
  return BuildSong(tracks, {{1, {0x21, 0x21, 0x1A, 0x00, 0xF2, 0xF2, 0x45, 0x45, 0x0C}},
                            {2, {0x01, 0x02, 0x20, 0x10, 0xF4, 0xF3, 0x33, 0x44, 0x01}}});
}

// Channel 0 holds one note for ever (sustained, fast release, so a key-off
// shows in the sound at once); channels 1..8 keep the bus busy with notes,
// rests and slides. Timer B runs at `timer_b_value` from the first row on.
inline Bytes SustainedOverBusyChannels(uint8_t timer_b_value) {
  std::array<Bytes, kChannelCount> tracks;
  tracks[0] = {0xFC, timer_b_value, 0xFF, 0x02, 0x40, 0xFF, 0xF6, 0xFB, 0x40, 0xFF, 0x80};
  for (int c = 1; c < kChannelCount; ++c) {
    tracks[c] = {0xFF,
                 0x01,
                 0xF6,
                 0xFD,
                 static_cast<uint8_t>(0x60 + 4 * c),
                 static_cast<uint8_t>(0x30 + c),
                 0x03,
                 0x0F,
                 0x02,
                 0xDA,
                 0x34,
                 0x47,
                 0x05,
                 0x80};
  }
  return BuildSong(tracks, {{1, {0x21, 0x21, 0x1A, 0x00, 0xF2, 0xF2, 0x45, 0x45, 0x0C}},
                            {2, {0x21, 0x21, 0x10, 0x00, 0xF0, 0xF0, 0x0F, 0x0F, 0x00}}});
}

}  // namespace opl2::test
