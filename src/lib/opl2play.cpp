// The C API: a thin layer over SongReader.
#include "opl2play/opl2play.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string>

#include "lib/song_reader.h"

#ifndef OPL2PLAY_VERSION
#define OPL2PLAY_VERSION "0.0.0"
#endif

struct opl2_song {
  std::unique_ptr<opl2::SongReader> reader;
  uint16_t muted = 0;
};

namespace {

void SetError(char* error, size_t size, const std::string& text) {
  if (error == nullptr || size == 0) return;
  std::snprintf(error, size, "%s", text.c_str());
}

// A reason when a setting is out of range, else empty.
std::string CheckSettings(const opl2_settings& s) {
  if (s.sample_rate != 0 && (s.sample_rate < 8'000 || s.sample_rate > 384'000)) {
    return "sample_rate must be 0 (the chip's own rate) or 8000..384000 Hz";
  }
  if (s.loops < -1) return "loops must be -1 (for ever) or more";
  if (!(s.fade_seconds >= 0) || s.fade_seconds > 86'400) return "fade_seconds must be 0..86400";
  if (!(s.max_seconds >= 0) || s.max_seconds > 1e7) return "max_seconds must be 0 (no cap) or more";
  return "";
}

}  // namespace

extern "C" {

void opl2_default_settings(opl2_settings* s) {
  s->sample_rate = 48'000;
  s->loops = 2;
  s->fade_seconds = 8;
  s->max_seconds = 600;
}

opl2_song* opl2_open(const void* data, size_t size, const opl2_settings* s, char* error,
                     size_t error_size) {
  opl2_settings settings;
  opl2_default_settings(&settings);
  if (s != nullptr) settings = *s;
  std::string reason = CheckSettings(settings);
  if (data == nullptr && size > 0) reason = "no data";
  if (!reason.empty()) {
    SetError(error, error_size, reason);
    return nullptr;
  }
  opl2::RenderOptions options;
  options.loops = settings.loops;
  options.fade_seconds = settings.fade_seconds;
  options.max_seconds = settings.max_seconds;
  try {
    const std::span<const uint8_t> bytes(static_cast<const uint8_t*>(data), size);
    auto song = std::make_unique<opl2_song>();
    song->reader = opl2::SongReader::Open(bytes, settings.sample_rate, options, &reason);
    if (song->reader == nullptr) {
      SetError(error, error_size, reason);
      return nullptr;
    }
    SetError(error, error_size, "");
    return song.release();
  } catch (const std::bad_alloc&) {
    SetError(error, error_size, "out of memory");
    return nullptr;
  }
}

void opl2_close(opl2_song* song) {
  delete song;
}

size_t opl2_read_s16(opl2_song* song, int16_t* out, size_t frames) {
  if (song == nullptr || out == nullptr) return 0;
  return song->reader->ReadS16(out, frames);
}

size_t opl2_read_f32(opl2_song* song, float* out, size_t frames) {
  if (song == nullptr || out == nullptr) return 0;
  return song->reader->ReadF32(out, frames);
}

int opl2_seek(opl2_song* song, double seconds) {
  if (song == nullptr || !(seconds >= 0) || !std::isfinite(seconds)) return -1;
  const double frame = std::nearbyint(seconds * song->reader->rate());
  if (frame > 9e18) return -1;
  return song->reader->Seek(static_cast<uint64_t>(frame)) ? 0 : -1;
}

double opl2_position(const opl2_song* song) {
  if (song == nullptr) return 0;
  return static_cast<double>(song->reader->position()) / song->reader->rate();
}

double opl2_duration(const opl2_song* song) {
  if (song == nullptr) return 0;
  // The length is found on first asking; the song itself is left as it was.
  const uint64_t frames = const_cast<opl2_song*>(song)->reader->Length();
  if (frames == opl2::SongReader::kNeverEnds) return std::numeric_limits<double>::infinity();
  return static_cast<double>(frames) / song->reader->rate();
}

void opl2_mute_channel(opl2_song* song, int channel, int muted) {
  if (song == nullptr || channel < 0 || channel >= opl2::kChannelCount) return;
  const uint16_t bit = static_cast<uint16_t>(1u << channel);
  song->muted = muted != 0 ? song->muted | bit : song->muted & ~bit;
  song->reader->stream().SetMutedChannels(song->muted);
}

void opl2_set_meters(opl2_song* song, int on) {
  if (song == nullptr) return;
  song->reader->stream().SetMeters(on != 0);
}

void opl2_channel_views(opl2_song* song, opl2_channel_view views[OPL2_CHANNELS]) {
  if (song == nullptr || views == nullptr) return;
  const auto seen = song->reader->stream().ChannelViews();
  for (int c = 0; c < opl2::kChannelCount; ++c) {
    const opl2::ChannelView& v = seen[c];
    opl2_channel_view& out = views[c];
    out.key_on = v.key_on ? 1 : 0;
    out.block = v.block;
    out.fnum = v.fnum;
    out.frequency = v.fnum * opl2::kChipSampleRate / static_cast<double>(1 << (20 - v.block));
    out.instrument = v.instrument;
    out.volume = v.volume;
    out.muted = v.muted ? 1 : 0;
    out.level = v.level;
  }
}

double opl2_sample_rate(const opl2_song* song) {
  if (song == nullptr) return 0;
  return song->reader->rate();
}

const char* opl2_version(void) {
  return "opl2play " OPL2PLAY_VERSION;
}

}  // extern "C"
