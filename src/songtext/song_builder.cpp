#include "songtext/song_builder.h"

#include <string>

#include "song/song_format.h"
#include "songtext/file_image.h"

namespace opl2::songtext {
namespace {

constexpr int kReservedOffset = 21;

void PutWord(std::vector<uint8_t>& out, int v) {
  out.push_back(static_cast<uint8_t>(v & 0xFF));
  out.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}

std::vector<uint8_t> Header(int format, const std::array<int, kTrackBoundCount>& bounds,
                            const std::array<uint8_t, 4>& reserved, int bank_bound) {
  std::vector<uint8_t> h;
  h.push_back(static_cast<uint8_t>(format));
  for (int b : bounds) PutWord(h, b);
  h.insert(h.end(), reserved.begin(), reserved.end());
  PutWord(h, bank_bound);
  return h;
}

// The bank records in source order, then the terminator unless left out.
// A record for patch 0 after the first would read as the terminator.
std::vector<uint8_t> BankBytes(const SourceModel& m, bool terminate, Diagnostics& diag) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i < m.instruments.size(); ++i) {
    const InstrumentDef& def = m.instruments[i];
    if (def.number == 0 && i != 0) {
      diag.Error(def.pos,
                 "instrument 0 must be the first instrument defined: anywhere else its record "
                 "reads as the end of the bank");
    }
    out.push_back(static_cast<uint8_t>(def.number));
    out.insert(out.end(), def.patch.begin(), def.patch.end());
  }
  if (terminate) out.push_back(0);
  return out;
}

template <typename T>
void OnlyIn(const Stated<T>& field, const char* what, const char* layouts, Diagnostics& diag) {
  if (field.value) {
    diag.Error(field.pos, std::string(what) + " is only used with " + layouts);
  }
}

std::vector<uint8_t> BuildCompact(const SourceModel& m, Diagnostics& diag) {
  const char* kExplicit = "'layout explicit'";
  OnlyIn(m.bounds, "'bounds'", kExplicit, diag);
  OnlyIn(m.bank_bound, "'bank_bound'", kExplicit, diag);
  OnlyIn(m.size, "'size'", kExplicit, diag);
  OnlyIn(m.bank_at, "'bank at'", kExplicit, diag);
  for (const PlacedBytes& d : m.data) {
    diag.Error(d.pos, "data blocks are only used with 'layout explicit' or 'layout raw'");
  }
  std::array<int, kTrackBoundCount> bounds{};
  bounds[0] = kHeaderSize - 1;
  std::vector<uint8_t> tracks;
  for (int c = 0; c < kChannelCount; ++c) {
    const auto& ch = m.channels[static_cast<size_t>(c)];
    if (!ch) {
      // Only worth saying about a source that is otherwise fine.
      if (diag.error_count() == 0)
        diag.Warning({1, 1}, "channel " + std::to_string(c) +
                                 " has no block: its empty track holds a low C for ever "
                                 "(write 'channel " +
                                 std::to_string(c) + " { end }' to keep it silent)");
    } else {
      if (ch->at) diag.Error(ch->pos, "'at' is only used with 'layout explicit'");
      tracks.insert(tracks.end(), ch->bytes.begin(), ch->bytes.end());
    }
    bounds[static_cast<size_t>(c) + 1] = kHeaderSize - 1 + static_cast<int>(tracks.size());
  }
  if (bounds[kChannelCount] > 65535) {
    diag.Error({1, 1}, "the tracks take " + std::to_string(tracks.size()) +
                           " bytes; after the header they must end by offset 65535");
  }
  std::vector<uint8_t> bank;
  if (m.instruments.empty()) {
    // A bank needs one record; this one changes nothing.
    bank.push_back(0);
    bank.insert(bank.end(), DEFAULT_PATCH.begin(), DEFAULT_PATCH.end());
    bank.push_back(0);
  } else {
    bank = BankBytes(m, true, diag);
  }
  std::vector<uint8_t> out =
      Header(m.format.value.value_or(kSongFormatId), bounds,
             m.reserved.value.value_or(std::array<uint8_t, 4>{}), bounds[kChannelCount]);
  out.insert(out.end(), tracks.begin(), tracks.end());
  out.insert(out.end(), bank.begin(), bank.end());
  return out;
}

// Track bounds from the channels' offsets, when they lie end to end.
std::array<int, kTrackBoundCount> DerivedBounds(const SourceModel& m, Diagnostics& diag) {
  std::array<int, kTrackBoundCount> b{};
  for (int c = 0; c < kChannelCount; ++c) {
    const auto& ch = m.channels[static_cast<size_t>(c)];
    if (!ch || !ch->at) {
      diag.Error(ch ? ch->pos : m.layout.pos,
                 "without 'bounds', every channel needs a block with 'at OFFSET' (channel " +
                     std::to_string(c) + ")");
      return b;
    }
    const int start = *ch->at - 1;
    if (c == 0) {
      b[0] = start;
    } else if (start != b[static_cast<size_t>(c)]) {
      diag.Error(ch->pos, "channel " + std::to_string(c) + " does not start right after channel " +
                              std::to_string(c - 1) + "; give the track bounds with 'bounds'");
      return b;
    }
    b[static_cast<size_t>(c) + 1] = start + static_cast<int>(ch->bytes.size());
  }
  for (int v : b) {
    if (v < 0 || v > 65535) {
      diag.Error(m.layout.pos,
                 "a track bound derived from the channel offsets is outside 0..65535");
      break;
    }
  }
  return b;
}

std::vector<uint8_t> BuildExplicit(const SourceModel& m, Diagnostics& diag) {
  FileImage image;
  const std::array<int, kTrackBoundCount> bounds =
      m.bounds.value ? *m.bounds.value : DerivedBounds(m, diag);
  int bank_bound = 0;
  if (m.bank_bound.value) {
    bank_bound = *m.bank_bound.value;
  } else if (m.bank_at.value && *m.bank_at.value >= 1 && *m.bank_at.value <= 65536) {
    bank_bound = *m.bank_at.value - 1;
  } else {
    diag.Error(m.layout.pos, "give 'bank_bound', or 'bank at OFFSET' with an offset 1..65536");
  }
  image.Place(0,
              Header(m.format.value.value_or(kSongFormatId), bounds,
                     m.reserved.value.value_or(std::array<uint8_t, 4>{}), bank_bound),
              m.layout.pos, "the header", diag);
  for (int c = 0; c < kChannelCount; ++c) {
    const auto& ch = m.channels[static_cast<size_t>(c)];
    if (!ch) continue;
    if (!ch->at) {
      diag.Error(ch->pos, "with 'layout explicit' a channel needs 'at OFFSET'");
      continue;
    }
    image.Place(*ch->at, ch->bytes, ch->pos, "channel " + std::to_string(c), diag);
  }
  if (!m.instruments.empty() || m.bank_at.value) {
    const int at = m.bank_at.value.value_or(bank_bound + 1);
    image.Place(at, BankBytes(m, !m.bank_unterminated, diag),
                m.bank_at.value ? m.bank_at.pos : m.instruments.front().pos, "the bank", diag);
  }
  for (const PlacedBytes& d : m.data) image.Place(*d.at, d.bytes, d.pos, "a data block", diag);
  size_t size = image.extent();
  if (m.size.value) {
    if (image.extent() > static_cast<size_t>(*m.size.value)) {
      diag.Error(m.size.pos, "the parts placed reach offset " + std::to_string(image.extent()) +
                                 ", past the size " + std::to_string(*m.size.value));
    }
    size = static_cast<size_t>(*m.size.value);
  }
  return image.Bytes(size);
}

std::vector<uint8_t> BuildRaw(const SourceModel& m, Diagnostics& diag) {
  const char* kRawNot = "'layout compact' or 'layout explicit'";
  OnlyIn(m.format, "'format'", kRawNot, diag);
  OnlyIn(m.reserved, "'reserved'", kRawNot, diag);
  OnlyIn(m.bounds, "'bounds'", kRawNot, diag);
  OnlyIn(m.bank_bound, "'bank_bound'", kRawNot, diag);
  OnlyIn(m.bank_at, "'bank at'", kRawNot, diag);
  for (const InstrumentDef& d : m.instruments) {
    diag.Error(d.pos, "a raw file has no instruments: write its bytes as data");
  }
  for (const auto& ch : m.channels) {
    if (ch) diag.Error(ch->pos, "a raw file has no channels: write its bytes as data");
  }
  FileImage image;
  for (const PlacedBytes& d : m.data) image.Place(*d.at, d.bytes, d.pos, "a data block", diag);
  size_t size = image.extent();
  if (m.size.value) {
    if (image.extent() > static_cast<size_t>(*m.size.value)) {
      diag.Error(m.size.pos, "the data reaches offset " + std::to_string(image.extent()) +
                                 ", past the size " + std::to_string(*m.size.value));
    }
    size = static_cast<size_t>(*m.size.value);
  }
  return image.Bytes(size);
}

}  // namespace

std::vector<uint8_t> BuildSong(const SourceModel& m, Diagnostics& diag) {
  switch (m.layout.value.value_or(Layout::kCompact)) {
    case Layout::kExplicit:
      return BuildExplicit(m, diag);
    case Layout::kRaw:
      return BuildRaw(m, diag);
    case Layout::kCompact:
    default:
      return BuildCompact(m, diag);
  }
}

}  // namespace opl2::songtext
