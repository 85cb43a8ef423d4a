// Writes the chip's native-rate samples to an audio file (.wav 16-bit PCM or
// .flac, chosen by the extension), converting the rate on the way when asked.
// The file appears under its name only when Finish() succeeds: until then it
// is a temporary file beside the target.
#pragma once

#include <sndfile.h>
#include <soxr.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace opl2 {

class AudioFileWriter {
 public:
  AudioFileWriter() = default;
  ~AudioFileWriter();
  AudioFileWriter(const AudioFileWriter&) = delete;
  AudioFileWriter& operator=(const AudioFileWriter&) = delete;

  // output_rate 0 keeps the native rate. False with error() set on failure.
  bool Open(const std::string& path, double native_rate, int output_rate);
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

}  // namespace opl2
