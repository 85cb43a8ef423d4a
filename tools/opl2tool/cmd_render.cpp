// opl2tool render: a song on the emulated chip, written to an audio file.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "commands.h"
#include "option_parse.h"
#include "output/audio_file_writer.h"
#include "render/song_stream.h"
#include "songfile/song_file.h"
#include "tool_platform.h"

namespace opl2tool {
namespace {

void PrintHelp(std::FILE* out) {
  std::fprintf(out,
               "usage: opl2tool render SONG -o OUT [--seconds S] [--loops N] [--fade S]\n"
               "                       [--rate R|native]\n\n"
               "Plays SONG on the emulated OPL2 chip with a virtual timer and writes the\n"
               "sound to OUT (.wav: 16-bit PCM, .flac), mono.\n\n"
               "  -o OUT         the audio file to write (written whole or not at all)\n"
               "  --seconds S    longest render in seconds (default 600)\n"
               "  --loops N      looping songs: times every channel jumps back before the\n"
               "                 fade (default 2)\n"
               "  --fade S       fade-out of looping songs in seconds (default 8)\n"
               "  --rate R       sample rate of the file in Hz (default 48000);\n"
               "                 'native' keeps the chip's own 49,716 Hz\n\n"
               "A song whose channels all stop ends half a second after the chip falls silent.\n");
}

}  // namespace

int RunRender(int argc, char** argv) {
  const char* song = nullptr;
  std::string out_path;
  opl2::RenderOptions options;
  int rate = 48'000;
  OptionParser p("render", argc, argv);
  while (p.Next()) {
    if (p.Is("--help") || p.Is("-h")) {
      PrintHelp(stdout);
      return 0;
    } else if (p.Is("-o")) {
      if (!p.Value(&out_path)) return 2;
    } else if (p.Is("--seconds")) {
      if (!p.Number(&options.max_seconds, 0.001, 86'400)) return 2;
    } else if (p.Is("--loops")) {
      if (!p.Integer(&options.loops, 0, 1'000'000)) return 2;
    } else if (p.Is("--fade")) {
      if (!p.Number(&options.fade_seconds, 0, 3'600)) return 2;
    } else if (p.Is("--rate")) {
      std::string value;
      if (!p.Value(&value)) return 2;
      if (value == "native") {
        rate = 0;
      } else if (!ParseInteger(value.c_str(), &rate, 8'000, 384'000)) {
        std::fprintf(stderr, "opl2tool render: --rate takes 8000..384000 or 'native'\n");
        return 2;
      }
    } else if (!p.Positional(&song)) {
      return 2;
    }
  }
  if (song == nullptr || out_path.empty()) {
    PrintHelp(stderr);
    return 2;
  }

  std::vector<uint8_t> bytes;
  if (!opl2::ReadSongFile(song, &bytes)) {
    std::fprintf(stderr, "Can't open file %s\n", song);
    return 1;
  }
  // The library's own reader, at the chip's rate; bytes that are not a song
  // play as the player plays them (silence).
  const std::unique_ptr<opl2::SongStream> stream = opl2::SongStream::OpenAnyBytes(bytes, options);
  opl2::AudioFileWriter writer;
  if (!writer.Open(out_path, opl2::kChipSampleRate, rate)) {
    std::fprintf(stderr, "opl2tool render: %s\n", writer.error().c_str());
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
      std::fprintf(stderr, "opl2tool render: %s\n", writer.error().c_str());
      writer.Abort();
      return 1;
    }
    if (Interrupted()) {
      writer.Abort();
      if (reported) std::fputc('\n', stderr);
      std::fprintf(stderr, "opl2tool render: interrupted; %s not written\n", out_path.c_str());
      return 130;
    }
    const auto now = std::chrono::steady_clock::now();
    if (show_progress && now - begin > std::chrono::seconds(1) &&
        now - last_report > std::chrono::milliseconds(200)) {
      std::fprintf(stderr, "\rrendering %s: %.1f s of sound", song,
                   static_cast<double>(stream->position()) / opl2::kChipSampleRate);
      last_report = now;
      reported = true;
    }
  }
  if (reported) std::fputc('\n', stderr);
  if (!writer.Finish()) {
    std::fprintf(stderr, "opl2tool render: %s\n", writer.error().c_str());
    writer.Abort();
    return 1;
  }
  return 0;
}

}  // namespace opl2tool
