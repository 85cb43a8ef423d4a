// One screenful of text, kept as rows of bytes, and the escape sequences
// that bring a terminal from one frame to the next rewriting only the rows
// that changed. Fixed size: nothing is allocated while drawing.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace opl2::jukebox {

class Frame {
 public:
  static constexpr int kMaxRows = 64;
  static constexpr int kMaxCols = 256;
  static constexpr size_t kRowBytes = kMaxCols * 4;  // room for UTF-8

  void Reset(int rows, int cols);
  int rows() const { return rows_; }
  int cols() const { return cols_; }

  // Writes `text` from column `col` of `row`, cut at the frame's width (or
  // at column `end` when that is smaller). Control characters show as '?';
  // UTF-8 sequences take one column each. Returns the column after the text.
  int Put(int row, int col, std::string_view text, int end = kMaxCols);
  // printf into a row.
  int Print(int row, int col, const char* format, ...) __attribute__((format(printf, 4, 5)));

  std::string_view Row(int row) const;
  bool RowEquals(const Frame& other, int row) const;

 private:
  struct Line {
    std::array<char, kRowBytes> bytes{};
    size_t size = 0;  // bytes in use
    int width = 0;    // columns in use
  };
  int rows_ = 0;
  int cols_ = 0;
  std::array<Line, kMaxRows> lines_{};
};

// Output for a terminal: the bytes that turn frame `shown` into `next`
// (whole changed rows), appended to `out` of size `capacity`. Returns the
// length of the output. A null `shown` redraws every row.
size_t FrameUpdate(const Frame* shown, const Frame& next, char* out, size_t capacity);

}  // namespace opl2::jukebox
