#include "songtext/source_checks.h"

#include <algorithm>
#include <bitset>
#include <string>

#include "analysis/track_events.h"

namespace opl2::songtext {

void CheckSource(const SourceModel& m, Diagnostics& diag) {
  if (m.layout.value == Layout::kRaw) return;
  for (int c = 0; c < kChannelCount; ++c) {
    const auto& ch = m.channels[static_cast<size_t>(c)];
    if (!ch) continue;
    const std::vector<analysis::TrackEvent> events = analysis::SplitTrack(ch->bytes);
    const bool ends = std::any_of(events.begin(), events.end(),
                                  [](const analysis::TrackEvent& e) { return e.code == EV_END; });
    if (!ends) {
      diag.Warning(ch->pos, "channel " + std::to_string(c) +
                                " has no 'end': after its last event it plays the zero bytes "
                                "that follow the track, a low C held for ever");
    }
  }
  std::bitset<kBankSlots> defined;
  defined.set(0);  // the built-in patch 0
  for (const InstrumentDef& d : m.instruments) defined.set(static_cast<size_t>(d.number));
  for (size_t n = 0; n < m.instrument_first_use.size(); ++n) {
    if (m.instrument_first_use[n] && !defined.test(n)) {
      diag.Warning(*m.instrument_first_use[n],
                   "instrument " + std::to_string(n) +
                       " is used but never defined: its patch is all zero bytes, so the notes "
                       "played with it are silent");
    }
  }
}

}  // namespace opl2::songtext
