// Flat entry points for JavaScript, beside the C API: the settings as plain
// arguments and the channel views as a table of integers, so that the JS side
// never needs to know how the C structs are laid out.
#include <cstddef>
#include <cstdint>

#include "opl2play/opl2play.h"

namespace {

// One row of opl2web_views per channel.
enum ViewField { kKeyOn, kBlock, kFnum, kInstrument, kVolume, kMuted, kLevel, kViewFields };

}  // namespace

extern "C" {

opl2_song* opl2web_open(const uint8_t* data, size_t size, int sample_rate, int loops,
                        double fade_seconds, double max_seconds, char* error, size_t error_size) {
  opl2_settings s;
  opl2_default_settings(&s);
  s.sample_rate = sample_rate;
  s.loops = loops;
  s.fade_seconds = fade_seconds;
  s.max_seconds = max_seconds;
  return opl2_open(data, size, &s, error, error_size);
}

// Fills out[channel * 7 + field] (key on, block, F-number, instrument,
// volume, muted, level) for the 9 channels; returns the number of fields.
int opl2web_views(opl2_song* song, int32_t* out) {
  opl2_channel_view views[OPL2_CHANNELS] = {};
  opl2_channel_views(song, views);
  for (int c = 0; c < OPL2_CHANNELS; ++c) {
    int32_t* row = out + c * kViewFields;
    row[kKeyOn] = views[c].key_on;
    row[kBlock] = views[c].block;
    row[kFnum] = views[c].fnum;
    row[kInstrument] = views[c].instrument;
    row[kVolume] = views[c].volume;
    row[kMuted] = views[c].muted;
    row[kLevel] = views[c].level;
  }
  return kViewFields;
}

}  // extern "C"
