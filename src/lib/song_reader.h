// A song read at any sample rate: the native-rate SongStream, and past it,
// for other rates, the rate converter. This is what the C API hands out,
// and what C++ programs may use directly.
//
// At other rates the converter is never restarted (that would make it
// allocate): a seek feeds it the song again from a little before the target,
// from a native sample chosen so that the converter's output grid falls
// within a few hundred-thousandths of a sample of the song's, and drops what
// comes out until the target. The samples after a seek match an
// uninterrupted read to within the converter's rounding. The start of the
// song is reached the same way, after silence, when the song is opened.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "lib/rate_converter.h"
#include "render/song_stream.h"

namespace opl2 {

class SongReader {
 public:
  static constexpr uint64_t kNeverEnds = SongStream::kNeverEnds;

  // sample_rate 0: the chip's own rate. Null with a reason in `error` when
  // the bytes are not a song or the rate cannot be had.
  static std::unique_ptr<SongReader> Open(std::span<const uint8_t> bytes, int sample_rate,
                                          const RenderOptions& options, std::string* error);

  size_t ReadS16(int16_t* out, size_t frames);
  size_t ReadF32(float* out, size_t frames);
  // To output frame `frame`; false, and nothing changes, past the end.
  bool Seek(uint64_t frame);
  uint64_t position() const { return position_; }
  // Output frames in all, or kNeverEnds.
  uint64_t Length();
  double rate() const;
  SongStream& stream() { return *stream_; }

 private:
  static constexpr size_t kChunk = 1024;  // native samples converted at a time

  SongReader() = default;
  size_t ReadConverted(float* out, size_t frames);
  void Refill();
  // Feeds the converter again for output frame `frame` (see above).
  void Restart(uint64_t frame);
  uint64_t OutputFrames(uint64_t native) const;

  std::unique_ptr<SongStream> stream_;
  int rate_ = 0;  // 0: native
  RateConverter converter_;
  uint64_t position_ = 0;
  // The converter: native samples given (zeros included), frames it has
  // made, the song's frame number of the next frame it makes, zeros still
  // to give before the song's samples, and whether the song's are all in.
  uint64_t fed_ = 0;
  uint64_t made_ = 0;
  int64_t next_frame_ = 0;
  uint64_t zeros_left_ = 0;
  bool input_done_ = false;
  size_t ready_head_ = 0;
  size_t ready_count_ = 0;
  std::array<int16_t, kChunk> native_{};
  std::array<float, kChunk> input_{};
  std::array<float, kChunk * 8 + 8192> ready_{};
  std::array<float, kChunk> discard_{};
};

}  // namespace opl2
