#include "output/audio_file_writer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace opl2 {
namespace {

bool EndsWithNoCase(const std::string& s, const std::string& suffix) {
  if (s.size() < suffix.size()) return false;
  return std::equal(suffix.rbegin(), suffix.rend(), s.rbegin(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) ==
           std::tolower(static_cast<unsigned char>(b));
  });
}

// Room for the header chunks that come before the samples (RIFF, fmt, fact,
// LIST INFO framing, data): generous, so the choice errs towards RF64.
constexpr uint64_t kHeaderRoom = 4096;

// A frame count that no render reaches: what an unknown length is taken as.
constexpr uint64_t kUnknownFrames = UINT64_MAX / 4;

}  // namespace

bool NeedsRf64(uint64_t max_frames, size_t tag_bytes) {
  if (max_frames > kUnknownFrames) return true;
  return max_frames * 2 + kHeaderRoom + tag_bytes > kLargestRiffFile;
}

int AudioFormatForPath(const std::string& path) {
  if (EndsWithNoCase(path, ".wav")) return SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  if (EndsWithNoCase(path, ".flac")) return SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
  return 0;
}

AudioFileWriter::~AudioFileWriter() {
  Abort();
}

bool AudioFileWriter::Open(const std::string& path, double native_rate, int output_rate,
                           const AudioFileInfo& file_info) {
  path_ = path;
  int format = AudioFormatForPath(path);
  if (format == 0) {
    error_ = "unknown audio file type (use .wav or .flac): " + path;
    return false;
  }
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string temp = dir + "." + base + ".partial-XXXXXX";
  const int fd = mkstemp(temp.data());
  if (fd < 0) {
    error_ = "cannot create a file beside " + path + ": " + std::strerror(errno);
    return false;
  }
  temp_path_ = temp;
  // mkstemp makes the file private; give it the mode a new file would get.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);

  SF_INFO info{};
  info.channels = 1;
  info.samplerate = output_rate == 0 ? static_cast<int>(std::lround(native_rate)) : output_rate;
  // The most frames the file can get: the native frames at the file's rate,
  // and the converter's last few.
  uint64_t max_frames =
      file_info.max_native_frames == 0 ? kUnknownFrames : file_info.max_native_frames;
  if (output_rate != 0 && max_frames < kUnknownFrames) {
    max_frames = static_cast<uint64_t>(
                     std::ceil(static_cast<double>(max_frames) * output_rate / native_rate)) +
                 4096;
  }
  const bool rf64 = (format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV &&
                    NeedsRf64(max_frames, file_info.title.size() + file_info.artist.size());
  if (rf64) format = SF_FORMAT_RF64 | SF_FORMAT_PCM_16;
  info.format = format;
  file_ = sf_open_fd(fd, SFM_WRITE, &info, SF_TRUE);
  if (file_ == nullptr) {
    error_ = std::string("cannot write audio: ") + sf_strerror(nullptr);
    close(fd);
    Abort();
    return false;
  }
  sf_command(file_, SFC_SET_CLIPPING, nullptr, SF_TRUE);
  if (rf64) sf_command(file_, SFC_RF64_AUTO_DOWNGRADE, nullptr, SF_TRUE);
  if ((!file_info.title.empty() &&
       sf_set_string(file_, SF_STR_TITLE, file_info.title.c_str()) != 0) ||
      (!file_info.artist.empty() &&
       sf_set_string(file_, SF_STR_ARTIST, file_info.artist.c_str()) != 0)) {
    error_ = std::string("cannot tag the file: ") + sf_strerror(file_);
    Abort();
    return false;
  }
  if (output_rate != 0) {
    soxr_error_t err = nullptr;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);  // one thread: same bytes every run
    resampler_ = soxr_create(native_rate, output_rate, 1, &err, &io, &quality, &runtime);
    if (resampler_ == nullptr) {
      error_ = std::string("cannot convert the rate: ") + (err != nullptr ? err : "?");
      Abort();
      return false;
    }
  }
  return true;
}

bool AudioFileWriter::WriteConverted(const float* in, size_t count, bool last) {
  const size_t room = count * 2 + 4096;
  if (out_buffer_.size() < room) out_buffer_.resize(room);
  size_t consumed = 0;
  do {
    size_t used = 0;
    size_t produced = 0;
    const soxr_error_t err =
        soxr_process(resampler_, last ? nullptr : in + consumed, last ? 0 : count - consumed, &used,
                     out_buffer_.data(), out_buffer_.size(), &produced);
    if (err != nullptr) {
      error_ = std::string("rate conversion failed: ") + err;
      return false;
    }
    consumed += used;
    if (produced > 0) {
      if (sf_writef_float(file_, out_buffer_.data(), static_cast<sf_count_t>(produced)) !=
          static_cast<sf_count_t>(produced)) {
        error_ = std::string("write failed: ") + sf_strerror(file_);
        return false;
      }
      frames_written_ += produced;
    }
    if (last && produced == 0) break;
  } while (last || consumed < count);
  return true;
}

bool AudioFileWriter::Write(const int16_t* samples, size_t count) {
  if (file_ == nullptr) return false;
  if (resampler_ == nullptr) {
    if (sf_writef_short(file_, samples, static_cast<sf_count_t>(count)) !=
        static_cast<sf_count_t>(count)) {
      error_ = std::string("write failed: ") + sf_strerror(file_);
      return false;
    }
    frames_written_ += count;
    return true;
  }
  if (in_buffer_.size() < count) in_buffer_.resize(count);
  for (size_t i = 0; i < count; ++i) in_buffer_[i] = samples[i] / 32768.0f;
  return WriteConverted(in_buffer_.data(), count, false);
}

bool AudioFileWriter::Finish() {
  if (file_ == nullptr) return false;
  if (resampler_ != nullptr && !WriteConverted(nullptr, 0, true)) return false;
  const int close_error = sf_close(file_);
  file_ = nullptr;
  if (close_error != 0) {
    error_ = std::string("cannot finish the file: ") + sf_error_number(close_error);
    return false;
  }
  if (std::rename(temp_path_.c_str(), path_.c_str()) != 0) {
    error_ = "cannot move the file into place as " + path_ + ": " + std::strerror(errno);
    return false;
  }
  temp_path_.clear();
  return true;
}

void AudioFileWriter::Abort() {
  if (file_ != nullptr) sf_close(file_);
  file_ = nullptr;
  if (resampler_ != nullptr) soxr_delete(resampler_);
  resampler_ = nullptr;
  if (!temp_path_.empty()) unlink(temp_path_.c_str());
  temp_path_.clear();
}

}  // namespace opl2
