// opl2tool info: what a song file holds and how long it plays.
#include <cmath>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <span>
#include <string>
#include <vector>

#include "analysis/song_summary.h"
#include "analysis/song_timing.h"
#include "command_line.h"
#include "commands.h"
#include "song_input.h"
#include "tool_files.h"

namespace opl2tool {
namespace {

using opl2::analysis::ChannelTiming;
using opl2::analysis::SongSummary;
using opl2::analysis::SongTiming;

void PrintHelp(std::FILE* out) {
  std::fprintf(out,
               "usage: opl2tool info SONG [--json]\n\n"
               "SONG '-' reads standard input.\n"
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

std::string Plural(uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string JoinInts(const std::set<int>& v, const char* sep = " ") {
  std::string s;
  for (int x : v) s += (s.empty() ? "" : sep) + std::to_string(x);
  return s;
}

void PrintText(const char* path, const SongSummary& s, const SongTiming& t, const Playback& p) {
  const auto& L = s.layout;
  std::printf("%s: %s, ", path,
              Plural(static_cast<uint64_t>(L.file_size), "byte", "bytes").c_str());
  if (!L.full_header) {
    std::printf("shorter than the 27-byte header\n");
  } else {
    std::printf("%s layout\n", LayoutName(s));
    std::printf("header: track bounds");
    for (int b : L.track_bound) std::printf(" %d", b);
    std::printf(", bank bound %d, reserved bytes %02X %02X %02X %02X (hex)\n", L.bank_bound,
                L.reserved[0], L.reserved[1], L.reserved[2], L.reserved[3]);
    std::printf("\nchannel  offset  bytes  events  instruments  loop points  loops (deepest)\n");
    for (int c = 0; c < opl2::kChannelCount; ++c) {
      const auto& r = L.tracks[static_cast<size_t>(c)];
      const auto& tr = s.tracks[static_cast<size_t>(c)];
      std::string bytes = std::to_string(r.length);
      if (r.in_file < r.length) bytes += " (" + std::to_string(r.in_file) + " in file)";
      std::string notes;
      if (r.length == 0) notes += "  empty: holds a low C for ever";
      if (tr.unnamed_events > 0) {
        notes += "  " + Plural(static_cast<uint64_t>(tr.unnamed_events), "raw event", "raw events");
      }
      if (tr.unmatched_loop_marks > 0) {
        notes += "  " + Plural(static_cast<uint64_t>(tr.unmatched_loop_marks),
                               "unmatched loop mark", "unmatched loop marks");
      }
      std::printf("%7d  %6d  %5s  %6d  %-11s  %11zu  %d (%d)%s\n", c, r.start, bytes.c_str(),
                  tr.events, tr.instruments.empty() ? "-" : JoinInts(tr.instruments).c_str(),
                  tr.loop_points.size(), tr.loops, tr.max_loop_nesting, notes.c_str());
    }
    std::printf("\nbank: %s from offset %d, %s\n",
                Plural(L.records.size(), "record", "records").c_str(), L.bank_bound + 1,
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
                    static_cast<unsigned>(e.value));
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
      std::printf("ends by itself after %s (%s)\n", Seconds(p.duration).c_str(),
                  Plural(t.ticks_run, "tick", "ticks").c_str());
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
      std::printf("still playing when the run stopped at %s (%s): the limit was reached\n",
                  Seconds(t.Seconds(t.ticks_run)).c_str(),
                  Plural(t.ticks_run, "tick", "ticks").c_str());
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

using Json = nlohmann::ordered_json;

Json Seconds3(double v) {
  return std::round(v * 1e6) / 1e6;
}

void PrintJson(const std::string& path, const SongSummary& s, const SongTiming& t,
               const Playback& p) {
  const auto& L = s.layout;
  Json j;
  j["file"] = path;
  j["size"] = L.file_size;
  j["is_song"] = L.is_song;
  j["full_header"] = L.full_header;
  j["layout"] = LayoutName(s);
  if (L.is_song && L.full_header) {
    j["header"] = {
        {"track_bounds", L.track_bound}, {"reserved", L.reserved}, {"bank_bound", L.bank_bound}};
    Json tracks = Json::array();
    for (int c = 0; c < opl2::kChannelCount; ++c) {
      const auto& r = L.tracks[static_cast<size_t>(c)];
      const auto& tr = s.tracks[static_cast<size_t>(c)];
      Json tempo = Json::array();
      for (const auto& e : tr.tempo_events)
        tempo.push_back({{"offset", e.offset}, {"value", e.value}});
      tracks.push_back({{"channel", c},
                        {"start", r.start},
                        {"length", r.length},
                        {"in_file", r.in_file},
                        {"events", tr.events},
                        {"raw_events", tr.unnamed_events},
                        {"instruments", tr.instruments},
                        {"loop_points", tr.loop_points},
                        {"loops", tr.loops},
                        {"max_loop_nesting", tr.max_loop_nesting},
                        {"unmatched_loop_marks", tr.unmatched_loop_marks},
                        {"tempo_events", tempo}});
    }
    j["tracks"] = tracks;
    j["bank"] = {{"start", L.bank_bound + 1},
                 {"records", L.records.size()},
                 {"terminated", L.bank_terminated}};
    j["instruments"] = {
        {"defined", s.defined}, {"used", s.used}, {"undefined_used", s.undefined_used}};
  }
  Json play = {{"result", ShapeName(p.shape)},
               {"ticks_run", t.ticks_run},
               {"seconds_run", Seconds3(t.Seconds(t.ticks_run))},
               {"capped", t.capped}};
  if (p.shape == Shape::kEnds) play["duration_s"] = Seconds3(p.duration);
  if (p.loop_channel >= 0) {
    play["loop_channel"] = p.loop_channel;
    play["intro_s"] = Seconds3(p.intro);
    play["loop_s"] = Seconds3(p.loop);
  }
  if (p.held_channel >= 0) {
    play["held_channel"] = p.held_channel;
    play["held_from_s"] = Seconds3(p.held_from);
  }
  Json channels = Json::array();
  for (size_t c = 0; c < t.channels.size(); ++c) {
    const ChannelTiming& ch = t.channels[c];
    Json one = {{"channel", c}, {"plays", ch.played}};
    if (ch.stopped) {
      one["stop_tick"] = ch.stop_tick;
      one["stop_s"] = Seconds3(t.Seconds(ch.stop_tick));
    }
    if (ch.looped) {
      one["loop_point_tick"] = ch.loop_point_tick;
      one["first_jump_tick"] = ch.first_jump_tick;
      one["loop_point_s"] = Seconds3(t.Seconds(ch.loop_point_tick));
      one["loop_s"] = Seconds3(LoopSeconds(t, ch));
    }
    if (ch.held) {
      one["held_tick"] = ch.held_tick;
      one["held_s"] = Seconds3(t.Seconds(ch.held_tick));
    }
    channels.push_back(one);
  }
  play["channels"] = channels;
  Json tempo = Json::array();
  for (const auto& tc : t.tempo_changes) {
    tempo.push_back({{"tick", tc.tick}, {"s", Seconds3(t.Seconds(tc.tick))}, {"value", tc.value}});
  }
  play["tempo_changes"] = tempo;
  play["tempo_changes_cut"] = t.tempo_changes_cut;
  j["playback"] = play;
  // A file name need not be UTF-8: bytes that are not become U+FFFD.
  const std::string text = j.dump(2, ' ', false, Json::error_handler_t::replace);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
}

}  // namespace

int RunInfo(int argc, char** argv) {
  CommandLine cl("info", {{"json", 0, nullptr}});
  if (!cl.Parse(argc, argv)) return 2;
  if (cl.help()) {
    PrintHelp(stdout);
    return 0;
  }
  if (!cl.Positionals(1, 1, "a SONG")) return 2;
  const std::string path = cl.positionals()[0];
  SongInput song;
  if (!song.Read(cl, path, kLargestReadableSong)) return 1;
  const std::span<const uint8_t> bytes(song.bytes().data(), song.bytes().size());
  const SongSummary summary = opl2::analysis::SummarizeSong(bytes);
  const SongTiming timing = opl2::analysis::MeasureSong(&song.song());
  const Playback playback = Analyze(timing);
  if (cl.Has("json")) {
    PrintJson(path, summary, timing, playback);
  } else {
    PrintText(path.c_str(), summary, timing, playback);
  }
  return FinishStandardOutput(cl) ? 0 : 1;
}

}  // namespace opl2tool
