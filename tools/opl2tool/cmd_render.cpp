// opl2tool render: a song on the emulated chip, written to an audio file.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "command_line.h"
#include "commands.h"
#include "output/audio_file_writer.h"
#include "render/song_stream.h"
#include "song_input.h"
#include "tool_files.h"
#include "tool_platform.h"

namespace opl2tool {
namespace {

void PrintHelp(std::FILE* out) {
  std::fprintf(out,
               "usage: opl2tool render SONG -o OUT [--seconds S] [--loops N] [--fade S]\n"
               "                       [--rate R|native] [--title T] [--artist A]\n\n"
               "Plays SONG ('-': standard input) on the emulated OPL2 chip with a virtual\n"
               "timer and writes the sound to OUT (.wav: 16-bit PCM, RF64 past 4 GiB;\n"
               ".flac), mono.\n\n"
               "  -o, --output OUT  the audio file to write (written whole or not at all;\n"
               "                    never over SONG itself)\n"
               "  --seconds S       longest render in seconds, 0.001 to 86400 (default 600)\n"
               "  --loops N         looping songs: times every channel jumps back before\n"
               "                    the fade, 0 to 1000000 (default 2)\n"
               "  --fade S          fade-out in seconds, 0 to 3600 (default 8): after the\n"
               "                    loops, and before the --seconds cap when it cuts the\n"
               "                    song (at most half the render)\n"
               "  --rate R          sample rate of the file in Hz, 8000 to 384000\n"
               "                    (default 48000); 'native' keeps the chip's 49,716 Hz\n"
               "  --title T         the file's title tag (default: SONG's name without\n"
               "                    its extension)\n"
               "  --artist A        the file's artist tag\n\n"
               "A song whose channels all stop ends half a second after the chip falls silent.\n");
}

}  // namespace

int RunRender(int argc, char** argv) {
  CommandLine cl("render", {{"output", 'o', "OUT"},
                            {"seconds", 0, "S"},
                            {"loops", 0, "N"},
                            {"fade", 0, "S"},
                            {"rate", 0, "R"},
                            {"title", 0, "T"},
                            {"artist", 0, "A"}});
  if (!cl.Parse(argc, argv)) return 2;
  if (cl.help()) {
    PrintHelp(stdout);
    return 0;
  }
  opl2::RenderOptions options;
  int64_t loops = options.loops;
  int64_t rate = 48'000;
  if (!cl.Number("seconds", 0.001, 86'400, &options.max_seconds) ||
      !cl.Integer("loops", 0, 1'000'000, &loops) ||
      !cl.Number("fade", 0, 3'600, &options.fade_seconds)) {
    return 2;
  }
  options.loops = static_cast<int>(loops);
  if (const std::string* r = cl.Value("rate"); r != nullptr && *r == "native") {
    rate = 0;
  } else if (!cl.Integer("rate", 8'000, 384'000, &rate)) {
    return 2;
  }
  if (!cl.Positionals(1, 1, "a SONG")) return 2;
  if (cl.Value("output") == nullptr) {
    cl.Error("needs -o OUT, the audio file to write (see --help)");
    return 2;
  }
  const std::string song_path = cl.positionals()[0];
  const std::string out_path = *cl.Value("output");
  if (opl2::AudioFormatForPath(out_path) == 0) {
    cl.Error("cannot write " + Quoted(out_path) + ": unknown audio file type (use .wav or .flac)");
    return 1;
  }
  if (WritesOverAnInput(cl, out_path, {song_path})) return 1;

  SongInput song;
  if (!song.Read(cl, song_path)) return 1;
  // The library's own reader, at the chip's rate.
  std::string error;
  const std::unique_ptr<opl2::SongStream> stream = opl2::SongStream::Open(
      std::span<const uint8_t>(song.bytes().data(), song.bytes().size()), options, &error);
  if (stream == nullptr) {
    cl.Error(Quoted(song_path) + " " + error);
    return 1;
  }

  opl2::AudioFileInfo info;
  info.title = cl.Value("title") != nullptr ? *cl.Value("title") : SongTitle(song_path);
  if (cl.Value("artist") != nullptr) info.artist = *cl.Value("artist");
  info.max_native_frames =
      static_cast<uint64_t>(std::llround(options.max_seconds * opl2::kChipSampleRate));
  opl2::AudioFileWriter writer;
  if (!writer.Open(out_path, opl2::kChipSampleRate, static_cast<int>(rate), info)) {
    cl.Error("cannot write " + Quoted(out_path) + ": " + writer.error());
    return 1;
  }

  CatchInterrupts();

  const bool show_progress = StderrIsTerminal();
  const auto begin = std::chrono::steady_clock::now();
  auto last_report = begin;
  bool reported = false;
  std::vector<int16_t> block(16'384);
  for (;;) {
    const size_t n = stream->Read(block.data(), block.size());
    if (n == 0) break;
    if (!writer.Write(block.data(), n)) {
      if (reported) std::fputc('\n', stderr);
      cl.Error("cannot write " + Quoted(out_path) + ": " + writer.error());
      writer.Abort();
      return 1;
    }
    if (Interrupted()) {
      writer.Abort();
      if (reported) std::fputc('\n', stderr);
      cl.Error("interrupted; " + Quoted(out_path) + " not written");
      return 130;
    }
    const auto now = std::chrono::steady_clock::now();
    if (show_progress && now - begin > std::chrono::seconds(1) &&
        now - last_report > std::chrono::milliseconds(200)) {
      std::fprintf(stderr, "\rrendering %s: %.1f s of sound", song_path.c_str(),
                   static_cast<double>(stream->position()) / opl2::kChipSampleRate);
      last_report = now;
      reported = true;
    }
  }
  if (reported) std::fputc('\n', stderr);
  if (!writer.Finish()) {
    cl.Error("cannot write " + Quoted(out_path) + ": " + writer.error());
    writer.Abort();
    return 1;
  }
  return 0;
}

}  // namespace opl2tool
