// Songs for the interactive player's tests, and what the library reads of
// them on its own: the expectation every played buffer is held against.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/harness.h"
#include "lib/lib_support.h"
#include "tools/run_tool.h"

namespace opl2::test {

inline std::string ExampleSong(const char* name) {
  return std::string(OPL2_BIN_DIR) + "/../examples/" + name + ".song";
}

inline Bytes ReadBytes(const std::string& path) {
  const std::string s = ReadWholeFile(path);
  return Bytes(s.begin(), s.end());
}

inline uint64_t Samples(double seconds) {
  return static_cast<uint64_t>(std::llround(seconds * OPL2_NATIVE_RATE));
}

// The library's read of `bytes` from `from` with channels `muted` left out.
inline std::vector<int16_t> LibraryRead(const Bytes& bytes, const opl2_settings& s, uint64_t from,
                                        size_t count, uint16_t muted = 0) {
  SongPtr song = Open(bytes, s);
  for (int c = 0; c < OPL2_CHANNELS; ++c) opl2_mute_channel(song.get(), c, (muted >> c) & 1);
  EXPECT_EQ(opl2_seek(song.get(), static_cast<double>(from) / OPL2_NATIVE_RATE), 0);
  std::vector<int16_t> out(count);
  out.resize(opl2_read_s16(song.get(), out.data(), count));
  return out;
}

}  // namespace opl2::test
