#include "analysis/song_summary.h"

#include <algorithm>

#include "analysis/track_events.h"

namespace opl2::analysis {
namespace {

TrackSummary SummarizeTrack(std::span<const uint8_t> bytes, int file_offset) {
  TrackSummary t;
  const std::vector<TrackEvent> events = SplitTrack(bytes);
  const std::vector<int> partner = PairLoops(events);
  t.events = static_cast<int>(events.size());
  int depth = 0;
  for (size_t i = 0; i < events.size(); ++i) {
    const TrackEvent& e = events[i];
    const EventForm form = FormOf(e);
    const bool paired = partner[i] >= 0;
    if (e.code == EV_LOOP_START || e.code == EV_LOOP_END) {
      if (!paired) {
        ++t.unmatched_loop_marks;
        ++t.unnamed_events;
      } else if (form == EventForm::kLoopStart) {
        ++t.loops;
        t.max_loop_nesting = std::max(t.max_loop_nesting, ++depth);
      } else {
        --depth;
      }
      continue;
    }
    switch (form) {
      case EventForm::kRaw:
        ++t.unnamed_events;
        break;
      case EventForm::kInstrument:
        t.instruments.insert(e.op[0]);
        break;
      case EventForm::kLoopPoint:
        t.loop_points.push_back(file_offset + e.offset);
        break;
      case EventForm::kTempo:
        t.tempo_events.push_back({file_offset + e.offset, e.op[0]});
        break;
      case EventForm::kEnd:
        t.has_end = true;
        break;
      default:
        break;
    }
  }
  return t;
}

}  // namespace

SongSummary SummarizeSong(std::span<const uint8_t> file) {
  SongSummary s;
  s.layout = ReadLayout(file);
  if (!s.layout.is_song || !s.layout.full_header) return s;
  for (int c = 0; c < kChannelCount; ++c) {
    const TrackRange& r = s.layout.tracks[static_cast<size_t>(c)];
    const auto bytes =
        r.in_file > 0 ? file.subspan(static_cast<size_t>(r.start), static_cast<size_t>(r.in_file))
                      : std::span<const uint8_t>();
    s.tracks[static_cast<size_t>(c)] = SummarizeTrack(bytes, r.start);
    for (int p : s.tracks[static_cast<size_t>(c)].instruments) s.used.insert(p);
  }
  for (const BankRecordAt& r : s.layout.records) s.defined.insert(r.patch_number);
  for (int p : s.used) {
    if (p != 0 && s.defined.count(p) == 0) s.undefined_used.insert(p);
  }
  return s;
}

}  // namespace opl2::analysis
