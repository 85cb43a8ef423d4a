#include "analysis/song_layout.h"

#include <algorithm>

namespace opl2::analysis {

int WordAt(std::span<const uint8_t> file, int offset) {
  return file[static_cast<size_t>(offset)] | (file[static_cast<size_t>(offset) + 1] << 8);
}

namespace {

void ReadBank(std::span<const uint8_t> file, SongLayout& s) {
  const int size = s.file_size;
  int pos = s.bank_bound + 1;
  s.bank_end = pos;
  while (pos < size) {
    const uint8_t p = file[static_cast<size_t>(pos)];
    if (p == 0 && !s.records.empty()) {
      s.bank_terminated = true;
      s.terminator_offset = pos;
      s.bank_end = pos + 1;
      return;
    }
    if (pos + kBankRecordSize > size) return;  // a record cut short by the end of the file
    BankRecordAt r;
    r.offset = pos;
    r.patch_number = p;
    std::copy_n(file.begin() + pos + 1, kPatchSize, r.patch.begin());
    s.records.push_back(r);
    pos += kBankRecordSize;
    s.bank_end = pos;
  }
}

bool IsCompact(const SongLayout& s) {
  if (s.track_bound[0] != kHeaderSize - 1) return false;
  for (int k = 0; k < kChannelCount; ++k) {
    if (s.track_bound[k + 1] < s.track_bound[k]) return false;
  }
  return s.bank_bound == s.track_bound[kChannelCount] && s.bank_terminated &&
         s.terminator_offset + 1 == s.file_size;
}

}  // namespace

SongLayout ReadLayout(std::span<const uint8_t> file) {
  SongLayout s;
  s.file_size = static_cast<int>(file.size());
  s.is_song = !file.empty() && file[0] == kSongFormatId;
  s.full_header = s.file_size >= kHeaderSize;
  if (!s.is_song || !s.full_header) return s;
  for (int k = 0; k < kTrackBoundCount; ++k) {
    s.track_bound[k] = WordAt(file, kTrackBoundOffset + 2 * k);
  }
  std::copy_n(file.begin() + 21, 4, s.reserved.begin());
  s.bank_bound = WordAt(file, kBankBoundOffset);
  for (int c = 0; c < kChannelCount; ++c) {
    TrackRange& t = s.tracks[c];
    t.start = s.track_bound[c] + 1;
    t.length = std::max(0, s.track_bound[c + 1] - s.track_bound[c]);
    t.in_file = std::clamp(s.file_size - t.start, 0, t.length);
  }
  ReadBank(file, s);
  s.compact = IsCompact(s);
  return s;
}

}  // namespace opl2::analysis
