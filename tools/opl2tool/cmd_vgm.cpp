// opl2tool vgm: a song exported as a VGM log of its YM3812 writes, and a
// checker for VGM files.
#include <cstdio>
#include <string>
#include <vector>

#include "command_line.h"
#include "commands.h"
#include "song_input.h"
#include "tool_files.h"
#include "tool_platform.h"
#include "vgm/gd3_tag.h"
#include "vgm/song_vgm_export.h"
#include "vgm/vgm_format.h"
#include "vgm/vgm_gzip.h"
#include "vgm/vgm_reader.h"

namespace opl2tool {
namespace {

using opl2::vgm::Gd3Tag;

void PrintHelp(std::FILE* out) {
  std::fprintf(out,
               "usage: opl2tool vgm SONG -o OUT.vgm|OUT.vgz [--loops N] [--seconds S]\n"
               "                    [--title T] [--author A] [--game G] [--date D]\n"
               "                    [--notes TEXT]\n"
               "       opl2tool vgm --check FILE\n\n"
               "Plays SONG ('-': standard input) as 'opl2tool render' does and logs every\n"
               "register write as a VGM 1.51 file for one YM3812 at 3,579,545 Hz. Each write\n"
               "waits until the 44,100 Hz position at which a player applies it on its own\n"
               "chip sample (one sample late where the grid has no such position).\n\n"
               "  -o, --output OUT  the file to write (written whole or not at all; never\n"
               "                    over SONG itself); a name ending in .vgz is written\n"
               "                    gzip-compressed\n"
               "  --loops N         looping songs: times every channel jumps back, 0 to\n"
               "                    1000000 (default 2); the file ends where the render\n"
               "                    would start its fade\n"
               "  --seconds S       longest export in seconds, 0.001 to 86400 (default 600)\n"
               "  --title T         GD3 title (default: SONG's name without its extension)\n"
               "  --author A        GD3 author\n"
               "  --game G          GD3 game or album\n"
               "  --date D          GD3 release date\n"
               "  --notes TEXT      GD3 notes, before the song file's name\n"
               "  --check FILE      read FILE (.vgm or gzip-compressed .vgz; '-': standard\n"
               "                    input) and report its header, commands and length;\n"
               "                    exit status 1 when it is malformed\n\n"
               "A song whose channels all stop ends half a second after the chip falls silent.\n"
               "The file loops back only to where the song provably repeats: a tick from which\n"
               "the player makes the same writes as from the end on (docs/vgm-export.md).\n");
}

std::string Seconds(uint64_t samples) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3f s", static_cast<double>(samples) / opl2::vgm::kSampleRate);
  return buf;
}

std::string Hex(uint64_t v) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(v));
  return buf;
}

int Check(const CommandLine& cl, const std::string& path) {
  InputBytes input;
  if (!input.Read(cl, path)) return 1;
  std::vector<uint8_t> inflated;
  std::string error;
  const uint8_t* data = input.data();
  size_t size = input.size();
  const bool compressed = opl2::vgm::IsGzip(data, size);
  if (compressed) {
    if (!opl2::vgm::Gunzip(data, size, opl2::vgm::kLargestVgmFile, &inflated, &error)) {
      cl.Error(Quoted(path) + ": not a VGM file: gzip data, but " + error);
      return 1;
    }
    data = inflated.data();
    size = inflated.size();
  }
  opl2::vgm::VgmFile f;
  if (!opl2::vgm::ReadVgm(data, size, &f, &error)) {
    cl.Error(Quoted(path) + ": " + error);
    return 1;
  }
  const auto& c = f.counts;
  std::printf("%s: VGM %x.%02x, %u bytes%s\n", path.c_str(), f.version >> 8, f.version & 0xFF,
              f.file_size, compressed ? " (gzip-compressed)" : "");
  std::printf("YM3812 clock: %u Hz%s\n", f.ym3812_clock & ~opl2::vgm::kClockFlagsMask,
              (f.ym3812_clock & 0x4000'0000) != 0 ? " (two chips)" : "");
  std::printf("data: %s to %s (end command)\n", Hex(f.data_offset).c_str(),
              Hex(f.end_offset).c_str());
  std::printf("total: %u samples (%s)\n", f.total_samples, Seconds(f.total_samples).c_str());
  if (f.loop_offset != 0) {
    std::printf("loop: from %s, %u samples (%s)\n", Hex(f.loop_offset).c_str(), f.loop_samples,
                Seconds(f.loop_samples).c_str());
  } else {
    std::printf("loop: none\n");
  }
  std::printf(
      "commands: %llu YM3812 writes; waits: %llu of 0x61, %llu of 0x62, %llu of 0x63, "
      "%llu of 0x7n; 1 end\n",
      static_cast<unsigned long long>(c.ym3812_writes),
      static_cast<unsigned long long>(c.wait_16bit), static_cast<unsigned long long>(c.wait_735),
      static_cast<unsigned long long>(c.wait_882), static_cast<unsigned long long>(c.wait_short));
  if (f.gd3) {
    std::printf("GD3 tag at %s:\n", Hex(f.gd3_offset).c_str());
    for (int i = 0; i < opl2::vgm::kGd3FieldCount; ++i) {
      if (f.gd3->fields[i].empty()) continue;
      std::string value = f.gd3->fields[i];
      for (size_t at = 0; (at = value.find('\n', at)) != std::string::npos; at += 22) {
        value.insert(at + 1, 21, ' ');
      }
      std::printf("  %-18s %s\n", (std::string(opl2::vgm::Gd3FieldName(i)) + ":").c_str(),
                  value.c_str());
    }
  } else {
    std::printf("GD3 tag: none\n");
  }
  return FinishStandardOutput(cl) ? 0 : 1;
}

}  // namespace

int RunVgm(int argc, char** argv) {
  CommandLine cl("vgm", {{"output", 'o', "OUT"},
                         {"check", 0, "FILE"},
                         {"seconds", 0, "S"},
                         {"loops", 0, "N"},
                         {"title", 0, "T"},
                         {"author", 0, "A"},
                         {"game", 0, "G"},
                         {"date", 0, "D"},
                         {"notes", 0, "TEXT"}});
  if (!cl.Parse(argc, argv)) return 2;
  if (cl.help()) {
    PrintHelp(stdout);
    return 0;
  }
  if (const std::string* check = cl.Value("check")) {
    if (!cl.positionals().empty() || cl.Has("output")) {
      cl.Error("--check takes no song and no -o");
      return 2;
    }
    return Check(cl, *check);
  }
  opl2::vgm::VgmExportOptions options;
  int64_t loops = options.loops;
  if (!cl.Number("seconds", 0.001, 86'400, &options.max_seconds) ||
      !cl.Integer("loops", 0, 1'000'000, &loops)) {
    return 2;
  }
  options.loops = static_cast<int>(loops);
  if (!cl.Positionals(1, 1, "a SONG")) return 2;
  if (cl.Value("output") == nullptr) {
    cl.Error("needs -o OUT, the VGM file to write (see --help)");
    return 2;
  }
  const std::string song_path = cl.positionals()[0];
  const std::string out_path = *cl.Value("output");
  if (WritesOverAnInput(cl, out_path, {song_path}) || !CanCreate(cl, out_path)) return 1;

  SongInput song;
  if (!song.Read(cl, song_path)) return 1;
  opl2::vgm::SongVgmExporter exporter(options);
  exporter.Start(&song.song());

  CatchInterrupts();
  while (exporter.Advance(16'384)) {
    if (Interrupted()) break;
  }
  if (Interrupted()) {
    cl.Error("interrupted; " + Quoted(out_path) + " not written");
    return 130;
  }

  Gd3Tag tag;
  const std::pair<const char*, int> fields[] = {{"title", opl2::vgm::kTitle},
                                                {"author", opl2::vgm::kAuthor},
                                                {"game", opl2::vgm::kGame},
                                                {"date", opl2::vgm::kDate}};
  for (const auto& [name, field] : fields) {
    if (const std::string* v = cl.Value(name)) tag.fields[field] = *v;
  }
  if (!cl.Has("title")) tag.fields[opl2::vgm::kTitle] = SongTitle(song_path);
  tag.fields[opl2::vgm::kSystem] = "AdLib-compatible OPL2";
  tag.fields[opl2::vgm::kConverter] = "opl2tool";
  const std::string notes = cl.Has("notes") ? *cl.Value("notes") + "\n" : "";
  tag.fields[opl2::vgm::kNotes] = song_path == "-" ? notes + "Song file: standard input"
                                                   : notes + "Song file: " + BaseName(song_path);
  opl2::vgm::VgmImage image;
  std::string error;
  if (!exporter.Finish(tag, &image, &error)) {
    cl.Error("cannot write " + Quoted(out_path) + ": " + error);
    return 1;
  }
  std::vector<uint8_t> packed;
  const std::vector<uint8_t>* bytes = &image.bytes;
  if (opl2::vgm::IsVgzName(out_path)) {
    if (!opl2::vgm::Gzip(image.bytes.data(), image.bytes.size(), &packed, &error)) {
      cl.Error("cannot write " + Quoted(out_path) + ": " + error);
      return 1;
    }
    bytes = &packed;
  }
  if (Interrupted()) {
    cl.Error("interrupted; " + Quoted(out_path) + " not written");
    return 130;
  }
  if (!WriteOutputFile(cl, out_path, bytes->data(), bytes->size())) return 1;
  return 0;
}

}  // namespace opl2tool
