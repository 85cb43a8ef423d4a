#include "jukebox/screen_frame.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace opl2::jukebox {

void Frame::Reset(int rows, int cols) {
  rows_ = rows < 0 ? 0 : (rows > kMaxRows ? kMaxRows : rows);
  cols_ = cols < 0 ? 0 : (cols > kMaxCols ? kMaxCols : cols);
  for (int r = 0; r < rows_; ++r) {
    lines_[r].size = 0;
    lines_[r].width = 0;
  }
}

int Frame::Put(int row, int col, std::string_view text, int end) {
  if (row < 0 || row >= rows_) return col;
  const int limit = end < cols_ ? end : cols_;
  Line& line = lines_[row];
  // Pad with blanks up to `col` (a row is only ever written left to right).
  while (line.width < col && line.width < cols_ && line.size < kRowBytes) {
    line.bytes[line.size++] = ' ';
    ++line.width;
  }
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(text[i]);
    const bool continuation = (b & 0xC0) == 0x80;
    if (!continuation && line.width >= limit) break;
    if (line.size + 1 > kRowBytes) break;
    if (b < 0x20 || b == 0x7F) {
      line.bytes[line.size++] = '?';
    } else {
      line.bytes[line.size++] = static_cast<char>(b);
    }
    if (!continuation) ++line.width;
  }
  // A UTF-8 sequence cut short by the width is dropped whole.
  size_t lead = line.size;
  while (lead > 0 && (static_cast<unsigned char>(line.bytes[lead - 1]) & 0xC0) == 0x80) --lead;
  if (lead > 0 && static_cast<unsigned char>(line.bytes[lead - 1]) >= 0xC0) {
    const unsigned char b = static_cast<unsigned char>(line.bytes[lead - 1]);
    const size_t expected = b >= 0xF0 ? 4 : (b >= 0xE0 ? 3 : 2);
    if (line.size - (lead - 1) < expected) {
      line.size = lead - 1;
      --line.width;
    }
  }
  return line.width;
}

int Frame::Print(int row, int col, const char* format, ...) {
  char text[kMaxCols + 1];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (n < 0) return col;
  return Put(row, col, std::string_view(text, std::strlen(text)));
}

std::string_view Frame::Row(int row) const {
  if (row < 0 || row >= rows_) return {};
  return std::string_view(lines_[row].bytes.data(), lines_[row].size);
}

bool Frame::RowEquals(const Frame& other, int row) const {
  return Row(row) == other.Row(row);
}

size_t FrameUpdate(const Frame* shown, const Frame& next, char* out, size_t capacity) {
  const bool all = shown == nullptr || shown->rows() != next.rows() || shown->cols() != next.cols();
  size_t used = 0;
  for (int r = 0; r < next.rows(); ++r) {
    if (!all && next.RowEquals(*shown, r)) continue;
    const std::string_view row = next.Row(r);
    char move[32];
    const int n = std::snprintf(move, sizeof move, "\x1b[%d;1H", r + 1);
    // The row, then clear to its end: "ESC [ K".
    if (used + static_cast<size_t>(n) + row.size() + 3 > capacity) break;
    std::memcpy(out + used, move, static_cast<size_t>(n));
    used += static_cast<size_t>(n);
    std::memcpy(out + used, row.data(), row.size());
    used += row.size();
    std::memcpy(out + used, "\x1b[K", 3);
    used += 3;
  }
  return used;
}

}  // namespace opl2::jukebox
