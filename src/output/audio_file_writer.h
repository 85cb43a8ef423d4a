// Writes the chip's native-rate samples to an audio file (.wav 16-bit PCM or
// .flac, chosen by the extension), converting the rate on the way when asked.
// The file appears under its name only when Finish() succeeds: until then it
// is a temporary file beside the target. A WAV file that could pass the
// 4 GiB a RIFF header can count is written as RF64 instead (and comes out
// as WAV after all when it stays smaller).
#pragma once

#include <sndfile.h>
#include <soxr.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace opl2 {

// What the file says about itself, and the most frames it will be given.
struct AudioFileInfo {
  std::string title;               // written as the file's title tag when not empty
  std::string artist;              // the same for the artist
  uint64_t max_native_frames = 0;  // at the native rate; 0: unknown (taken as large)
};

class AudioFileWriter {
 public:
  AudioFileWriter() = default;
  ~AudioFileWriter();
  AudioFileWriter(const AudioFileWriter&) = delete;
  AudioFileWriter& operator=(const AudioFileWriter&) = delete;

  // output_rate 0 keeps the native rate. False with error() set on failure.
  bool Open(const std::string& path, double native_rate, int output_rate,
            const AudioFileInfo& info = {});
  bool Write(const int16_t* samples, size_t count);
  // Flushes the converter, closes the file and renames it into place.
  bool Finish();
  // Removes the temporary file; nothing appears under the target name.
  void Abort();

  const std::string& error() const { return error_; }
  const std::string& temp_path() const { return temp_path_; }
  uint64_t frames_written() const { return frames_written_; }

 private:
  bool WriteConverted(const float* in, size_t count, bool last);

  std::string path_;
  std::string temp_path_;
  std::string error_;
  SNDFILE* file_ = nullptr;
  soxr_t resampler_ = nullptr;
  std::vector<float> in_buffer_;
  std::vector<float> out_buffer_;
  uint64_t frames_written_ = 0;
};

// The container for a file name: ".wav" or ".flac" (any case), else 0.
int AudioFormatForPath(const std::string& path);

// The largest number of bytes a RIFF WAV file can hold (its size field
// counts the bytes after the first 8 in 32 bits).
inline constexpr uint64_t kLargestRiffFile = 0xFFFF'FFFFull + 8;

// RF64 in place of WAV when a 16-bit mono file of at most `max_frames`
// frames, with its header and tags, could pass kLargestRiffFile.
bool NeedsRf64(uint64_t max_frames, size_t tag_bytes);

}  // namespace opl2
