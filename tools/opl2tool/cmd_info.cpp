// opl2tool info: what a song file holds and how long it plays.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "analysis/song_summary.h"
#include "analysis/song_timing.h"
#include "commands.h"
#include "song/song_loader.h"
#include "songtext/file_io.h"

namespace opl2tool {
namespace {

using opl2::analysis::ChannelTiming;
using opl2::analysis::SongSummary;
using opl2::analysis::SongTiming;

void PrintHelp(std::FILE* out) {
  std::fprintf(out,
               "usage: opl2tool info SONG [--json]\n\n"
               "Shows the header and layout, each track's size, events, instruments,\n"
               "loop points, loops and tempo events, the instruments defined and used\n"
               "(used but undefined ones flagged), and how long the song plays: until\n"
               "every channel stops, or for a looping song its intro and one loop of\n"
               "the channel with the longest loop. The time comes from running the\n"
               "song with a virtual timer, tempo changes included, for at most one hour\n"
               "of song time or 20,000,000 ticks. --json prints the same as JSON.\n");
}

enum class Shape { kNotASong, kEnds, kLoops, kHolds, kCapped };

struct Playback {
  Shape shape = Shape::kNotASong;
  double duration = 0;    // kEnds
  int loop_channel = -1;  // kLoops: the channel with the longest loop
  double intro = 0;
  double loop = 0;
  int held_channel = -1;  // kHolds: first channel held for ever
  double held_from = 0;
};

double LoopSeconds(const SongTiming& t, const ChannelTiming& c) {
  return t.Seconds(c.first_jump_tick) - t.Seconds(c.loop_point_tick);
}

Playback Analyze(const SongTiming& t) {
  Playback p;
  if (t.load != opl2::LoadResult::kLoaded) return p;
  uint64_t last_stop = 0;
  for (size_t c = 0; c < t.channels.size(); ++c) {
    const ChannelTiming& ch = t.channels[c];
    if (ch.stopped) last_stop = std::max(last_stop, ch.stop_tick);
    if (ch.looped &&
        (p.loop_channel < 0 ||
         LoopSeconds(t, ch) > LoopSeconds(t, t.channels[static_cast<size_t>(p.loop_channel)]))) {
      p.loop_channel = static_cast<int>(c);
    }
    if (ch.held && p.held_channel < 0) {
      p.held_channel = static_cast<int>(c);
      p.held_from = t.Seconds(ch.held_tick);
    }
  }
  if (p.loop_channel >= 0) {
    const ChannelTiming& ch = t.channels[static_cast<size_t>(p.loop_channel)];
    p.intro = t.Seconds(ch.loop_point_tick);
    p.loop = LoopSeconds(t, ch);
  }
  p.duration = t.Seconds(last_stop);
  if (t.capped) {
    p.shape = Shape::kCapped;
  } else if (p.loop_channel >= 0) {
    p.shape = Shape::kLoops;
  } else if (p.held_channel >= 0) {
    p.shape = Shape::kHolds;
  } else {
    p.shape = Shape::kEnds;
  }
  return p;
}

const char* ShapeName(Shape s) {
  switch (s) {
    case Shape::kNotASong:
      return "not_a_song";
    case Shape::kEnds:
      return "ends";
    case Shape::kLoops:
      return "loops";
    case Shape::kHolds:
      return "holds";
    case Shape::kCapped:
      return "capped";
  }
  return "";
}

const char* LayoutName(const SongSummary& s) {
  if (!s.layout.is_song || !s.layout.full_header) return "raw";
  return s.layout.compact ? "compact" : "explicit";
}

std::string Seconds(double s) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.3f s", s);
  if (s >= 60) {
    const int m = static_cast<int>(s / 60);
    std::snprintf(buf, sizeof buf, "%.3f s (%d:%06.3f)", s, m, s - 60.0 * m);
  }
  return buf;
}

std::string JoinInts(const std::set<int>& v, const char* sep = " ") {
  std::string s;
  for (int x : v) s += (s.empty() ? "" : sep) + std::to_string(x);
  return s;
}

void PrintText(const char* path, int first_byte, const SongSummary& s, const SongTiming& t,
               const Playback& p) {
  const auto& L = s.layout;
  std::printf("%s: %d bytes, ", path, L.file_size);
  if (L.file_size == 0) {
    std::printf("empty: not a song\n");
  } else if (!L.is_song) {
    std::printf("not a song (first byte %d, not 2)\n", first_byte);
  } else if (!L.full_header) {
    std::printf("shorter than the 27-byte header\n");
  } else {
    std::printf("%s layout\n", LayoutName(s));
    std::printf("header: track bounds");
    for (int b : L.track_bound) std::printf(" %d", b);
    std::printf(", bank bound %d, reserved %02X %02X %02X %02X\n", L.bank_bound, L.reserved[0],
                L.reserved[1], L.reserved[2], L.reserved[3]);
    std::printf("\nchannel  offset  bytes  events  instruments  loop points  loops (deepest)\n");
    for (int c = 0; c < opl2::kChannelCount; ++c) {
      const auto& r = L.tracks[static_cast<size_t>(c)];
      const auto& tr = s.tracks[static_cast<size_t>(c)];
      std::string bytes = std::to_string(r.length);
      if (r.in_file < r.length) bytes += " (" + std::to_string(r.in_file) + " in file)";
      std::string notes;
      if (r.length == 0) notes += "  empty: holds a low C for ever";
      if (tr.unnamed_events > 0) notes += "  " + std::to_string(tr.unnamed_events) + " raw";
      if (tr.unmatched_loop_marks > 0) {
        notes += "  " + std::to_string(tr.unmatched_loop_marks) + " unmatched loop marks";
      }
      std::printf("%7d  %6d  %5s  %6d  %-11s  %11zu  %d (%d)%s\n", c, r.start, bytes.c_str(),
                  tr.events, tr.instruments.empty() ? "-" : JoinInts(tr.instruments).c_str(),
                  tr.loop_points.size(), tr.loops, tr.max_loop_nesting, notes.c_str());
    }
    std::printf("\nbank: %zu record%s from offset %d, %s\n", L.records.size(),
                L.records.size() == 1 ? "" : "s", L.bank_bound + 1,
                L.bank_terminated ? "terminated" : "no terminator before the end of the file");
    std::printf("instruments defined: %s\n",
                s.defined.empty() ? "none" : JoinInts(s.defined).c_str());
    std::printf("instruments used: %s\n", s.used.empty() ? "none" : JoinInts(s.used).c_str());
    if (!s.undefined_used.empty()) {
      std::printf("UNDEFINED instruments used (silent): %s\n", JoinInts(s.undefined_used).c_str());
    }
    bool any_tempo = false;
    for (int c = 0; c < opl2::kChannelCount; ++c) {
      for (const auto& e : s.tracks[static_cast<size_t>(c)].tempo_events) {
        std::printf("%s channel %d, offset %d: %u", any_tempo ? ";" : "tempo events:", c, e.offset,
                    e.value);
        any_tempo = true;
      }
    }
    if (any_tempo) std::printf("\n");
  }

  std::printf("\nplayback: ");
  switch (p.shape) {
    case Shape::kNotASong:
      std::printf("nothing plays (the player loads no song from this file)\n");
      return;
    case Shape::kEnds:
      std::printf("ends by itself after %s (%llu ticks)\n", Seconds(p.duration).c_str(),
                  static_cast<unsigned long long>(t.ticks_run));
      break;
    case Shape::kLoops:
      std::printf("loops for ever: intro %s, loop %s (channel %d has the longest loop)\n",
                  Seconds(p.intro).c_str(), Seconds(p.loop).c_str(), p.loop_channel);
      break;
    case Shape::kHolds:
      std::printf("never ends: channel %d holds a note for ever from %s (a length of 0)\n",
                  p.held_channel, Seconds(p.held_from).c_str());
      break;
    case Shape::kCapped:
      std::printf("still playing when the run stopped at %s (%llu ticks): the limit was reached\n",
                  Seconds(t.Seconds(t.ticks_run)).c_str(),
                  static_cast<unsigned long long>(t.ticks_run));
      break;
  }
  for (size_t c = 0; c < t.channels.size(); ++c) {
    const ChannelTiming& ch = t.channels[c];
    std::printf("  channel %zu: ", c);
    if (!ch.played) {
      std::printf("does not play\n");
    } else if (ch.stopped) {
      std::printf("stops at %s (tick %llu)\n", Seconds(t.Seconds(ch.stop_tick)).c_str(),
                  static_cast<unsigned long long>(ch.stop_tick));
    } else if (ch.looped) {
      std::printf("loop point at %s, loop %s\n", Seconds(t.Seconds(ch.loop_point_tick)).c_str(),
                  Seconds(LoopSeconds(t, ch)).c_str());
    } else if (ch.held) {
      std::printf("holds a note for ever from %s\n", Seconds(t.Seconds(ch.held_tick)).c_str());
    } else {
      std::printf("still playing\n");
    }
  }
  if (!t.tempo_changes.empty()) {
    std::printf("tempo changes while playing:");
    for (const auto& tc : t.tempo_changes) {
      std::printf(" %s->%u", Seconds(t.Seconds(tc.tick)).c_str(), tc.value);
    }
    std::printf("%s\n", t.tempo_changes_cut ? " ..." : "");
  }
}

// A small JSON writer: the caller lays out the structure, this escapes.
std::string JsonString(const std::string& s) {
  std::string out = "\"";
  for (char ch : s) {
    const unsigned char u = static_cast<unsigned char>(ch);
    if (ch == '"' || ch == '\\') {
      out += '\\';
      out += ch;
    } else if (u < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", u);
      out += buf;
    } else {
      out += ch;
    }
  }
  return out + "\"";
}

std::string JsonSet(const std::set<int>& v) {
  return "[" + JoinInts(v, ",") + "]";
}

std::string JsonNum(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6f", v);
  return buf;
}

void PrintJson(const char* path, const SongSummary& s, const SongTiming& t, const Playback& p) {
  const auto& L = s.layout;
  std::string j = "{\n  \"file\": " + JsonString(path) +
                  ",\n  \"size\": " + std::to_string(L.file_size) +
                  ",\n  \"is_song\": " + (L.is_song ? "true" : "false") +
                  ",\n  \"full_header\": " + (L.full_header ? "true" : "false") +
                  ",\n  \"layout\": " + JsonString(LayoutName(s));
  if (L.is_song && L.full_header) {
    j += ",\n  \"header\": {\"track_bounds\": [";
    for (size_t k = 0; k < L.track_bound.size(); ++k) {
      j += (k ? "," : "") + std::to_string(L.track_bound[k]);
    }
    j += "], \"reserved\": [";
    for (size_t k = 0; k < 4; ++k) j += (k ? "," : "") + std::to_string(L.reserved[k]);
    j += "], \"bank_bound\": " + std::to_string(L.bank_bound) + "}";
    j += ",\n  \"tracks\": [";
    for (int c = 0; c < opl2::kChannelCount; ++c) {
      const auto& r = L.tracks[static_cast<size_t>(c)];
      const auto& tr = s.tracks[static_cast<size_t>(c)];
      j += std::string(c ? "," : "") + "\n    {\"channel\": " + std::to_string(c) +
           ", \"start\": " + std::to_string(r.start) + ", \"length\": " + std::to_string(r.length) +
           ", \"in_file\": " + std::to_string(r.in_file) +
           ", \"events\": " + std::to_string(tr.events) +
           ", \"raw_events\": " + std::to_string(tr.unnamed_events) +
           ", \"instruments\": " + JsonSet(tr.instruments) + ", \"loop_points\": [";
      for (size_t k = 0; k < tr.loop_points.size(); ++k) {
        j += (k ? "," : "") + std::to_string(tr.loop_points[k]);
      }
      j += "], \"loops\": " + std::to_string(tr.loops) +
           ", \"max_loop_nesting\": " + std::to_string(tr.max_loop_nesting) +
           ", \"unmatched_loop_marks\": " + std::to_string(tr.unmatched_loop_marks) +
           ", \"tempo_events\": [";
      for (size_t k = 0; k < tr.tempo_events.size(); ++k) {
        j += std::string(k ? "," : "") +
             "{\"offset\": " + std::to_string(tr.tempo_events[k].offset) +
             ", \"value\": " + std::to_string(tr.tempo_events[k].value) + "}";
      }
      j += "]}";
    }
    j += "\n  ],\n  \"bank\": {\"start\": " + std::to_string(L.bank_bound + 1) +
         ", \"records\": " + std::to_string(L.records.size()) +
         ", \"terminated\": " + (L.bank_terminated ? "true" : "false") + "}";
    j += ",\n  \"instruments\": {\"defined\": " + JsonSet(s.defined) +
         ", \"used\": " + JsonSet(s.used) + ", \"undefined_used\": " + JsonSet(s.undefined_used) +
         "}";
  }
  j += ",\n  \"playback\": {\"result\": " + JsonString(ShapeName(p.shape)) +
       ", \"ticks_run\": " + std::to_string(t.ticks_run) +
       ", \"seconds_run\": " + JsonNum(t.Seconds(t.ticks_run)) +
       ", \"capped\": " + (t.capped ? "true" : "false");
  if (p.shape == Shape::kEnds) j += ", \"duration_s\": " + JsonNum(p.duration);
  if (p.loop_channel >= 0) {
    j += ", \"loop_channel\": " + std::to_string(p.loop_channel) +
         ", \"intro_s\": " + JsonNum(p.intro) + ", \"loop_s\": " + JsonNum(p.loop);
  }
  if (p.held_channel >= 0) {
    j += ", \"held_channel\": " + std::to_string(p.held_channel) +
         ", \"held_from_s\": " + JsonNum(p.held_from);
  }
  j += ",\n    \"channels\": [";
  for (size_t c = 0; c < t.channels.size(); ++c) {
    const ChannelTiming& ch = t.channels[c];
    j += std::string(c ? "," : "") + "\n      {\"channel\": " + std::to_string(c) +
         ", \"plays\": " + (ch.played ? "true" : "false");
    if (ch.stopped) {
      j += ", \"stop_tick\": " + std::to_string(ch.stop_tick) +
           ", \"stop_s\": " + JsonNum(t.Seconds(ch.stop_tick));
    }
    if (ch.looped) {
      j += ", \"loop_point_tick\": " + std::to_string(ch.loop_point_tick) +
           ", \"first_jump_tick\": " + std::to_string(ch.first_jump_tick) +
           ", \"loop_point_s\": " + JsonNum(t.Seconds(ch.loop_point_tick)) +
           ", \"loop_s\": " + JsonNum(LoopSeconds(t, ch));
    }
    if (ch.held) {
      j += ", \"held_tick\": " + std::to_string(ch.held_tick) +
           ", \"held_s\": " + JsonNum(t.Seconds(ch.held_tick));
    }
    j += "}";
  }
  j += "\n    ],\n    \"tempo_changes\": [";
  for (size_t k = 0; k < t.tempo_changes.size(); ++k) {
    const auto& tc = t.tempo_changes[k];
    j += std::string(k ? "," : "") + "{\"tick\": " + std::to_string(tc.tick) +
         ", \"s\": " + JsonNum(t.Seconds(tc.tick)) + ", \"value\": " + std::to_string(tc.value) +
         "}";
  }
  j += std::string("], \"tempo_changes_cut\": ") + (t.tempo_changes_cut ? "true" : "false") +
       "}\n}\n";
  std::fputs(j.c_str(), stdout);
}

}  // namespace

int RunInfo(int argc, char** argv) {
  const char* song = nullptr;
  bool json = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      PrintHelp(stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--json") == 0) {
      json = true;
    } else if (song == nullptr) {
      song = argv[i];
    } else {
      std::fprintf(stderr, "opl2tool info: unexpected argument '%s'\n", argv[i]);
      return 2;
    }
  }
  if (song == nullptr) {
    PrintHelp(stderr);
    return 2;
  }
  std::vector<uint8_t> bytes;
  std::string error;
  if (!opl2::songtext::ReadWholeFile(song, &bytes, &error)) {
    std::fprintf(stderr, "opl2tool info: cannot read %s: %s\n", song, error.c_str());
    return 1;
  }
  const SongSummary summary = opl2::analysis::SummarizeSong(bytes);
  auto loaded = std::make_unique<opl2::Song>();
  const bool is_song = opl2::LoadSong(bytes, *loaded) == opl2::LoadResult::kLoaded;
  const SongTiming timing = opl2::analysis::MeasureSong(is_song ? loaded.get() : nullptr);
  const Playback playback = Analyze(timing);
  if (json) {
    PrintJson(song, summary, timing, playback);
  } else {
    PrintText(song, bytes.empty() ? -1 : bytes[0], summary, timing, playback);
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace opl2tool
