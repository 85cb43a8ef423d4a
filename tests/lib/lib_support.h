// Songs opened through the C API, read whole, and compared.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "opl2play/opl2play.h"

namespace opl2::test {

using Bytes = std::vector<uint8_t>;

struct SongCloser {
  void operator()(opl2_song* s) const { opl2_close(s); }
};
using SongPtr = std::unique_ptr<opl2_song, SongCloser>;

inline opl2_settings Settings(int rate, int loops = 2, double fade = 8, double max = 600) {
  opl2_settings s;
  opl2_default_settings(&s);
  s.sample_rate = rate;
  s.loops = loops;
  s.fade_seconds = fade;
  s.max_seconds = max;
  return s;
}

inline SongPtr Open(const Bytes& bytes, const opl2_settings& s) {
  char error[256] = "";
  SongPtr song(opl2_open(bytes.data(), bytes.size(), &s, error, sizeof error));
  EXPECT_NE(song, nullptr) << error;
  return song;
}

// Everything from the current position to the end, read `block` at a time.
inline std::vector<int16_t> ReadRest(opl2_song* song, size_t block = 4096) {
  std::vector<int16_t> out;
  std::vector<int16_t> buf(block);
  for (size_t n; (n = opl2_read_s16(song, buf.data(), block)) > 0;) {
    out.insert(out.end(), buf.begin(), buf.begin() + static_cast<long>(n));
  }
  return out;
}

// The 16-bit samples of a WAV file's data chunk.
inline std::vector<int16_t> WavSamples(const std::string& file) {
  std::vector<int16_t> out;
  size_t at = 12;
  while (at + 8 <= file.size()) {
    uint32_t size = 0;
    std::memcpy(&size, file.data() + at + 4, 4);
    if (file.compare(at, 4, "data") == 0) {
      out.resize(std::min<size_t>(size, file.size() - at - 8) / 2);
      std::memcpy(out.data(), file.data() + at + 8, out.size() * 2);
      return out;
    }
    at += 8 + size + (size & 1);
  }
  return out;
}

}  // namespace opl2::test
