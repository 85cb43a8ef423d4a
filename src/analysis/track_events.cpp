#include "analysis/track_events.h"

#include <algorithm>

#include "song/note_code.h"

namespace opl2::analysis {

std::vector<TrackEvent> SplitTrack(std::span<const uint8_t> bytes) {
  std::vector<TrackEvent> events;
  size_t pos = 0;
  while (pos < bytes.size()) {
    TrackEvent e;
    e.offset = static_cast<int>(pos);
    e.code = bytes[pos];
    const size_t want = static_cast<size_t>(OperandCount(e.code));
    const size_t have = std::min(want, bytes.size() - pos - 1);
    for (size_t i = 0; i < have; ++i) e.op[i] = bytes[pos + 1 + i];
    e.truncated = have < want;
    e.size = static_cast<int>(1 + have);
    pos += 1 + have;
    events.push_back(e);
  }
  return events;
}

EventForm FormOf(const TrackEvent& e) {
  if (e.truncated) return EventForm::kRaw;
  switch (e.code) {
    case EV_SET_INSTRUMENT:
      return EventForm::kInstrument;
    case EV_VOLUME:
      return EventForm::kVolume;
    case EV_TEMPO:
      return EventForm::kTempo;
    case EV_TIE:
      return EventForm::kTie;
    case EV_DETUNE:
      return EventForm::kDetune;
    case EV_LOOP_START:
      return e.op[0] == 0 && e.op[1] == 0 ? EventForm::kLoopStart : EventForm::kRaw;
    case EV_LOOP_END:
      return e.op[0] != 0 && e.op[1] == 0 && e.op[2] == 0 && e.op[3] == 0 ? EventForm::kLoopEnd
                                                                          : EventForm::kRaw;
    case EV_LOOP_POINT:
      return EventForm::kLoopPoint;
    case EV_SLIDE:
      return IsValidNoteCode(e.op[0]) && IsValidNoteCode(e.op[1]) ? EventForm::kSlide
                                                                  : EventForm::kRaw;
    case EV_END:
      return EventForm::kEnd;
    case EV_REST:
      return EventForm::kRest;
    default:
      return IsValidNoteCode(e.code) ? EventForm::kNote : EventForm::kRaw;
  }
}

std::vector<int> PairLoops(const std::vector<TrackEvent>& events) {
  std::vector<int> partner(events.size(), -1);
  std::vector<int> open;
  for (size_t i = 0; i < events.size(); ++i) {
    const EventForm f = FormOf(events[i]);
    if (f == EventForm::kLoopStart) {
      open.push_back(static_cast<int>(i));
    } else if (f == EventForm::kLoopEnd && !open.empty()) {
      partner[i] = open.back();
      partner[static_cast<size_t>(open.back())] = static_cast<int>(i);
      open.pop_back();
    }
  }
  return partner;
}

}  // namespace opl2::analysis
