// What the player's screen shows, and how: the model the session fills and
// the layout that turns it into a frame.
//
//   row 0     song k/N and the file name; volume and loop mode on the right
//   row 1     elapsed / total (m:ss), a progress bar, the loop pass, PAUSED
//   row 2     the channel header, or a message for a few seconds
//   rows 3-11 one per channel: note and octave, instrument, volume, a level
//             meter, MUTE / SOLO (the key list instead while help is shown)
//   row 12    the main keys, when the terminal has room
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "jukebox/screen_frame.h"

namespace opl2::jukebox {

inline constexpr int kMinColumns = 60;
inline constexpr int kMinRows = 12;

struct ChannelRow {
  bool key_on = false;
  int block = 0;
  int fnum = 0;
  int instrument = 0;
  int volume = 0;
  int level = 0;  // 0..32767
  bool muted = false;
  bool solo = false;
};

struct ScreenModel {
  std::string_view file;
  int index = 0;  // 1-based
  int count = 0;
  bool opening = false;  // the song is not playing yet
  uint64_t position = 0;
  uint64_t length = 0;
  bool length_exact = false;
  bool endless = false;
  int pass = 0;    // 0: the song does not loop
  int passes = 0;  // passes in all; 0: for ever
  bool paused = false;
  int volume_db = 0;
  bool loop_forever = false;
  int loops = 0;
  bool solo_pending = false;
  bool help = false;
  std::string_view message;
  std::array<ChannelRow, 9> channels{};
};

// "m:ss" of a number of samples at the chip's rate (minutes grow past 59).
void FormatClock(uint64_t samples, char* out, size_t size);
// "A#4": the note nearest to the pitch of F-number `fnum` in `block`, with
// its octave (A4 = 440 Hz); "---" for no pitch.
void FormatNote(int block, int fnum, char* out, size_t size);
// Cells of a meter `width` wide for `level`, over 48 dB below full scale.
int MeterCells(int level, int width);

// Lays the model out on a frame of `rows` x `cols` (at least 60 x 12, else a
// line asking for a larger terminal).
void DrawScreen(const ScreenModel& model, int rows, int cols, Frame* frame);

}  // namespace opl2::jukebox
