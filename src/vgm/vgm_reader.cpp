#include "vgm/vgm_reader.h"

#include <cstdio>
#include <cstring>

#include "vgm/vgm_format.h"

namespace opl2::vgm {
namespace {

uint32_t Get32(const uint8_t* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}

std::string Hex(uint64_t v) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(v));
  return buf;
}

bool IsBcd(uint32_t v) {
  for (; v != 0; v >>= 4) {
    if ((v & 0xF) > 9) return false;
  }
  return true;
}

// A relative offset field: 0 means absent; else field position + value,
// which must lie in [lowest, highest].
bool ReadOffset(const uint8_t* data, uint32_t field, uint32_t lowest, uint32_t highest,
                const char* what, uint32_t* out, std::string* error) {
  const uint32_t rel = Get32(data + field);
  if (rel == 0) {
    *out = 0;
    return true;
  }
  const uint64_t abs = static_cast<uint64_t>(field) + rel;
  if (abs < lowest || abs > highest) {
    *error = std::string(what) + " offset " + Hex(abs) + " is outside " + Hex(lowest) + ".." +
             Hex(highest);
    return false;
  }
  *out = static_cast<uint32_t>(abs);
  return true;
}

class CommandWalker {
 public:
  CommandWalker(const uint8_t* data, VgmFile* file) : data_(data), file_(file) {}

  // Walks from the data offset to the end command, which must come before `limit`.
  bool Walk(uint32_t limit, std::string* error) {
    uint32_t at = file_->data_offset;
    bool loop_seen = file_->loop_offset == 0;
    uint64_t loop_sample = 0;
    const bool has_chip = (file_->ym3812_clock & ~kClockFlagsMask) != 0;
    for (;;) {
      if (at == file_->loop_offset) {
        loop_seen = true;
        loop_sample = sample_;
        file_->loop_first_write = file_->writes.size();
      }
      if (at >= limit) {
        *error = "the data ends at " + Hex(limit) + " without an end command (0x66)";
        return false;
      }
      const uint8_t cmd = data_[at];
      const uint32_t length = CommandLength(cmd);
      if (length == 0) {
        *error = "unknown command " + Hex(cmd) + " at offset " + Hex(at);
        return false;
      }
      if (length > limit - at) {
        *error = "command " + Hex(cmd) + " at offset " + Hex(at) + " is cut short by the end of " +
                 "the data at " + Hex(limit);
        return false;
      }
      if (cmd == kCmdEnd) {
        file_->end_offset = at;
        break;
      }
      if (file_->loop_offset > at && file_->loop_offset < at + length) {
        *error =
            "loop offset " + Hex(file_->loop_offset) + " points inside the command at " + Hex(at);
        return false;
      }
      if (cmd == kCmdYm3812Write) {
        if (!has_chip) {
          *error = "YM3812 write at offset " + Hex(at) + " but the header gives no YM3812 clock";
          return false;
        }
        if (sample_ > UINT32_MAX) return TooLong(error);
        file_->writes.push_back({static_cast<uint32_t>(sample_), data_[at + 1], data_[at + 2]});
        ++file_->counts.ym3812_writes;
      } else if (cmd == kCmdWait) {
        sample_ += data_[at + 1] | data_[at + 2] << 8;
        ++file_->counts.wait_16bit;
      } else if (cmd == kCmdWait735) {
        sample_ += 735;
        ++file_->counts.wait_735;
      } else if (cmd == kCmdWait882) {
        sample_ += 882;
        ++file_->counts.wait_882;
      } else {
        sample_ += cmd - kCmdShortWait + 1;
        ++file_->counts.wait_short;
      }
      at += length;
    }
    if (!loop_seen) {
      *error = "loop offset " + Hex(file_->loop_offset) + " is not at a command before the end";
      return false;
    }
    if (sample_ != file_->total_samples) {
      *error = "the waits add up to " + std::to_string(sample_) + " samples, the header says " +
               std::to_string(file_->total_samples);
      return false;
    }
    const uint64_t looped = file_->loop_offset != 0 ? sample_ - loop_sample : 0;
    if (looped != file_->loop_samples) {
      *error = "the waits after the loop offset add up to " + std::to_string(looped) +
               " samples, the header's loop length is " + std::to_string(file_->loop_samples);
      return false;
    }
    return true;
  }

 private:
  // Bytes of a command this reader knows, 0 for any other.
  static uint32_t CommandLength(uint8_t cmd) {
    switch (cmd) {
      case kCmdYm3812Write:
      case kCmdWait:
        return 3;
      case kCmdWait735:
      case kCmdWait882:
      case kCmdEnd:
        return 1;
      default:
        return (cmd & 0xF0) == kCmdShortWait ? 1 : 0;
    }
  }

  static bool TooLong(std::string* error) {
    *error = "the waits add up to more samples than a VGM file can count";
    return false;
  }

  const uint8_t* data_;
  VgmFile* file_;
  uint64_t sample_ = 0;
};

}  // namespace

bool ReadVgm(const uint8_t* data, size_t size, VgmFile* file, std::string* error) {
  *file = VgmFile{};
  if (size < 4 || std::memcmp(data, kIdent, 4) != 0) {
    *error = size < 4 ? "too short to be a VGM file (" + std::to_string(size) + " bytes)"
                      : "not a VGM file: it does not start with \"Vgm \"";
    return false;
  }
  if (size < kLegacyDataStart) {
    *error = "truncated: " + std::to_string(size) + " bytes, shorter than the " +
             std::to_string(kLegacyDataStart) + "-byte header";
    return false;
  }
  if (size > UINT32_MAX) {
    *error = "larger than a VGM file can address";
    return false;
  }
  file->file_size = static_cast<uint32_t>(size);
  const uint64_t eof = static_cast<uint64_t>(Get32(data + kEofOffset)) + kEofOffset;
  if (eof > size) {
    *error = "truncated: the header says " + std::to_string(eof) + " bytes, the file has " +
             std::to_string(size);
    return false;
  }
  if (eof < size) {
    *error = "the header says the file ends at " + Hex(eof) + ", but it has " +
             std::to_string(size - eof) + " more bytes";
    return false;
  }

  file->version = Get32(data + kVersionOffset);
  if (!IsBcd(file->version) || file->version < kLowestVersion || file->version > kHighestVersion) {
    *error = "unknown version " + Hex(file->version) + " (1.00 to 1.71 are read)";
    return false;
  }
  file->total_samples = Get32(data + kTotalSamplesOffset);
  file->loop_samples = Get32(data + kLoopSamplesOffset);

  file->data_offset = kLegacyDataStart;
  if (file->version >= 0x150) {
    uint32_t data_at = 0;
    if (!ReadOffset(data, kDataOffset, kLegacyDataStart, file->file_size - 1, "data", &data_at,
                    error)) {
      return false;
    }
    if (data_at != 0) file->data_offset = data_at;
  }
  // Fields past the header's end (the data start) are absent, as are those
  // newer than the file's version.
  if (file->version >= 0x151 && file->data_offset >= kYm3812ClockOffset + 4) {
    file->ym3812_clock = Get32(data + kYm3812ClockOffset);
  }

  const uint32_t last = file->file_size - 1;
  if (!ReadOffset(data, kGd3Offset, file->data_offset, last, "GD3", &file->gd3_offset, error) ||
      !ReadOffset(data, kLoopOffset, file->data_offset, last, "loop", &file->loop_offset, error)) {
    return false;
  }
  if (file->loop_offset == 0 && file->loop_samples != 0) {
    *error = "the header gives a loop length of " + std::to_string(file->loop_samples) +
             " samples but no loop offset";
    return false;
  }

  // The commands run up to the tag when it follows them, else to the end.
  const uint32_t limit = file->gd3_offset > file->data_offset ? file->gd3_offset : file->file_size;
  if (!CommandWalker(data, file).Walk(limit, error)) return false;

  if (file->gd3_offset != 0) {
    Gd3Tag tag;
    size_t used = 0;
    if (!DecodeGd3(data + file->gd3_offset, size - file->gd3_offset, &tag, &used, error)) {
      return false;
    }
    if (file->gd3_offset < file->end_offset + 1) {
      *error = "the GD3 tag at " + Hex(file->gd3_offset) + " overlaps the commands";
      return false;
    }
    if (file->gd3_offset + used != size) {
      *error = std::to_string(size - file->gd3_offset - used) + " stray bytes after the GD3 tag";
      return false;
    }
    file->gd3 = tag;
  }
  return true;
}

}  // namespace opl2::vgm
