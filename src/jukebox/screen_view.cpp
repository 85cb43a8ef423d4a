#include "jukebox/screen_view.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "chip/chip_clock.h"

namespace opl2::jukebox {
namespace {

constexpr const char* kNoteNames[12] = {"C",  "C#", "D",  "D#", "E",  "F",
                                        "F#", "G",  "G#", "A",  "A#", "B"};
constexpr double kMeterRangeDb = 48.0;

constexpr const char* kHelp[9] = {
    "Space        pause / resume         n >   next song",
    "Left Right   seek -5 / +5 s         p <   previous song",
    "Down Up      seek -60 / +60 s       0..8  mute / unmute channel",
    "Home         restart the song       s 0..8  solo channel",
    "+ -          volume by 1 dB         a     unmute all",
    "l            loops: set count / for ever",
    "q Escape     quit                   ? h   show / hide keys",
    "Ctrl+Z       suspend (fg resumes)   Ctrl+L  redraw",
    "",
};

void DrawTitle(const ScreenModel& m, int cols, Frame* f) {
  char right[64];
  if (m.loop_forever) {
    std::snprintf(right, sizeof right, "vol %+d dB  loop for ever", m.volume_db);
  } else {
    std::snprintf(right, sizeof right, "vol %+d dB  loops %d", m.volume_db, m.loops);
  }
  const int right_width = static_cast<int>(std::string_view(right).size());
  const int col = f->Print(0, 0, " %d/%d  ", m.index, m.count);
  // The name, cut to leave room for the right-hand part.
  f->Put(0, col, m.file, cols - right_width - 2);
  f->Put(0, cols - right_width - 1, right);
}

void DrawProgress(const ScreenModel& m, int cols, Frame* f) {
  char here[24], total[32];
  FormatClock(m.position, here, sizeof here);
  if (m.endless) {
    std::snprintf(total, sizeof total, "--:--");
  } else {
    char clock[24];
    FormatClock(m.length, clock, sizeof clock);
    std::snprintf(total, sizeof total, "%s%s", m.length_exact ? "" : "~", clock);
  }
  char pass[32] = "";
  if (m.pass > 0 && m.passes > 0) {
    std::snprintf(pass, sizeof pass, "pass %d/%d", m.pass, m.passes);
  } else if (m.pass > 0) {
    std::snprintf(pass, sizeof pass, "pass %d", m.pass);
  }
  int col = f->Print(1, 0, " %s / %s  ", here, total);
  const int tail = 20;  // pass and PAUSED
  const int bar = std::max(10, cols - col - tail - 2);
  char cells[Frame::kMaxCols + 1];
  int filled = 0;
  if (!m.endless && m.length > 0) {
    filled = static_cast<int>(std::min<uint64_t>(m.position, m.length) * bar / m.length);
  }
  for (int i = 0; i < bar; ++i) cells[i] = i < filled ? '#' : '-';
  cells[bar] = '\0';
  col = f->Print(1, col, "[%s]  %s", cells, pass);
  if (m.paused) f->Put(1, std::max(col + 2, cols - 7), "PAUSED");
  if (m.opening) f->Put(1, std::max(col + 2, cols - 9), "opening");
}

void DrawChannel(const ScreenModel& m, int c, int cols, Frame* f) {
  const ChannelRow& ch = m.channels[c];
  const int row = 3 + c;
  char note[8];
  if (ch.key_on) {
    FormatNote(ch.block, ch.fnum, note, sizeof note);
  } else {
    std::snprintf(note, sizeof note, "---");
  }
  int col = f->Print(row, 0, " %d  %-4s i%-3d v%-3d ", c, note, ch.instrument, ch.volume);
  const int meter = std::min(40, cols - col - 9);
  char cells[Frame::kMaxCols + 1];
  const int lit = MeterCells(ch.level, meter);
  for (int i = 0; i < meter; ++i) cells[i] = i < lit ? '|' : ' ';
  cells[std::max(meter, 0)] = '\0';
  col = f->Print(row, col, "[%s]", cells);
  if (ch.solo) {
    f->Put(row, col + 2, "SOLO");
  } else if (ch.muted) {
    f->Put(row, col + 2, "MUTE");
  }
}

}  // namespace

void FormatClock(uint64_t samples, char* out, size_t size) {
  const uint64_t seconds = samples / static_cast<uint64_t>(kChipSampleRateHz);
  std::snprintf(out, size, "%llu:%02llu", static_cast<unsigned long long>(seconds / 60),
                static_cast<unsigned long long>(seconds % 60));
}

void FormatNote(int block, int fnum, char* out, size_t size) {
  if (fnum <= 0) {
    std::snprintf(out, size, "---");
    return;
  }
  const double hz = fnum * kChipSampleRate / static_cast<double>(1 << (20 - block));
  const long key = std::lround(69 + 12 * std::log2(hz / 440.0));  // MIDI key number
  if (key < 0 || key > 127) {
    std::snprintf(out, size, "---");
    return;
  }
  std::snprintf(out, size, "%s%ld", kNoteNames[key % 12], key / 12 - 1);
}

int MeterCells(int level, int width) {
  if (level <= 0 || width <= 0) return 0;
  const double db = 20 * std::log10(std::min(level, 32767) / 32767.0);
  const double part = (db + kMeterRangeDb) / kMeterRangeDb;
  if (part <= 0) return 0;
  return std::clamp(static_cast<int>(std::ceil(part * width)), 1, width);
}

void DrawScreen(const ScreenModel& m, int rows, int cols, Frame* f) {
  // The last column stays empty: writing there would wrap on some terminals.
  f->Reset(std::min(rows, Frame::kMaxRows), std::min(cols - 1, Frame::kMaxCols));
  const int width = f->cols();
  if (rows < kMinRows || cols < kMinColumns) {
    f->Print(0, 0, "opl2tool play needs %dx%d (now %dx%d); q quits", kMinColumns, kMinRows, cols,
             rows);
    return;
  }
  DrawTitle(m, width, f);
  DrawProgress(m, width, f);
  if (!m.message.empty()) {
    f->Put(2, 1, m.message);
  } else if (m.solo_pending) {
    f->Put(2, 1, "solo which channel? (0..8)");
  } else {
    f->Put(2, 0, " ch note inst vol  level");
  }
  for (int c = 0; c < 9; ++c) {
    if (m.help) {
      f->Put(3 + c, 1, kHelp[c]);
    } else {
      DrawChannel(m, c, width, f);
    }
  }
  if (rows > kMinRows) {
    f->Put(12, 1, "Space pause  Left/Right seek  n/p song  0-8 mute  ? keys  q quit");
  }
}

}  // namespace opl2::jukebox
