// opl2tool vgm: a song exported as a VGM log of its YM3812 writes, and a
// checker for VGM files.
#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "commands.h"
#include "interrupt_flag.h"
#include "option_parse.h"
#include "songtext/file_io.h"
#include "vgm/gd3_tag.h"
#include "vgm/song_vgm_export.h"
#include "vgm/vgm_format.h"
#include "vgm/vgm_reader.h"

namespace opl2tool {
namespace {

using opl2::vgm::Gd3Tag;

void PrintHelp(std::FILE* out) {
  std::fprintf(out,
               "usage: opl2tool vgm SONG -o OUT.vgm [--loops N] [--seconds S] [--title T]\n"
               "                    [--author A] [--game G] [--date D] [--notes TEXT]\n"
               "       opl2tool vgm --check FILE\n\n"
               "Plays SONG as 'opl2tool render' does and logs every register write as a VGM\n"
               "1.51 file for one YM3812 at 3,579,545 Hz, with waits exact at 44,100 Hz.\n\n"
               "  -o OUT         the file to write (written whole or not at all)\n"
               "  --loops N      looping songs: times every channel jumps back (default 2);\n"
               "                 the file ends where the render would start its fade\n"
               "  --seconds S    longest export in seconds (default 600)\n"
               "  --title T      GD3 title (default: the song file's name without extension)\n"
               "  --author A     GD3 author\n"
               "  --game G       GD3 game or album\n"
               "  --date D       GD3 release date\n"
               "  --notes TEXT   GD3 notes, before the song file's name\n"
               "  --check FILE   read FILE and report its header, commands and length;\n"
               "                 exit status 1 when it is malformed\n\n"
               "A song whose channels all stop ends half a second after the chip falls silent.\n"
               "The file loops back only to where the song provably repeats: a tick from which\n"
               "the player makes the same writes as from the end on (docs/vgm-export.md).\n");
}

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Stem(const std::string& path) {
  std::string name = BaseName(path);
  const size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
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

int Check(const std::string& path) {
  std::vector<uint8_t> bytes;
  std::string error;
  if (!opl2::songtext::ReadWholeFile(path, &bytes, &error)) {
    std::fprintf(stderr, "opl2tool vgm: cannot read %s: %s\n", path.c_str(), error.c_str());
    return 1;
  }
  opl2::vgm::VgmFile f;
  if (!opl2::vgm::ReadVgm(bytes.data(), bytes.size(), &f, &error)) {
    std::fprintf(stderr, "opl2tool vgm: %s: %s\n", path.c_str(), error.c_str());
    return 1;
  }
  const auto& c = f.counts;
  std::printf("%s: VGM %x.%02x, %u bytes\n", path.c_str(), f.version >> 8, f.version & 0xFF,
              f.file_size);
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
  return 0;
}

// The folder the file will be written to exists and takes new files.
bool CanWriteBeside(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  return access(dir.c_str(), W_OK | X_OK) == 0;
}

}  // namespace

int RunVgm(int argc, char** argv) {
  const char* song = nullptr;
  std::string out_path;
  std::string check_path;
  opl2::vgm::VgmExportOptions options;
  Gd3Tag tag;
  bool title_given = false;
  std::string notes;
  OptionParser p("vgm", argc, argv);
  while (p.Next()) {
    if (p.Is("--help") || p.Is("-h")) {
      PrintHelp(stdout);
      return 0;
    } else if (p.Is("-o")) {
      if (!p.Value(&out_path)) return 2;
    } else if (p.Is("--check")) {
      if (!p.Value(&check_path)) return 2;
    } else if (p.Is("--seconds")) {
      if (!p.Number(&options.max_seconds, 0.001, 86'400)) return 2;
    } else if (p.Is("--loops")) {
      if (!p.Integer(&options.loops, 0, 1'000'000)) return 2;
    } else if (p.Is("--title")) {
      if (!p.Value(&tag.fields[opl2::vgm::kTitle])) return 2;
      title_given = true;
    } else if (p.Is("--author")) {
      if (!p.Value(&tag.fields[opl2::vgm::kAuthor])) return 2;
    } else if (p.Is("--game")) {
      if (!p.Value(&tag.fields[opl2::vgm::kGame])) return 2;
    } else if (p.Is("--date")) {
      if (!p.Value(&tag.fields[opl2::vgm::kDate])) return 2;
    } else if (p.Is("--notes")) {
      if (!p.Value(&notes)) return 2;
    } else if (!p.Positional(&song)) {
      return 2;
    }
  }
  if (!check_path.empty()) {
    if (song != nullptr || !out_path.empty()) {
      std::fprintf(stderr, "opl2tool vgm: --check takes no song and no -o\n");
      return 2;
    }
    return Check(check_path);
  }
  if (song == nullptr || out_path.empty()) {
    PrintHelp(stderr);
    return 2;
  }
  if (!CanWriteBeside(out_path)) {
    std::fprintf(stderr, "opl2tool vgm: cannot write %s: its folder is missing or read-only\n",
                 out_path.c_str());
    return 1;
  }

  opl2::vgm::SongVgmExporter exporter(options);
  if (exporter.StartFile(song) == opl2::LoadResult::kCannotOpen) {
    std::fprintf(stderr, "Can't open file %s\n", song);
    return 1;
  }

  CatchInterrupts();

  while (exporter.Advance(16'384)) {
    if (Interrupted()) break;
  }
  if (Interrupted()) {
    std::fprintf(stderr, "opl2tool vgm: interrupted; %s not written\n", out_path.c_str());
    return 130;
  }

  if (!title_given) tag.fields[opl2::vgm::kTitle] = Stem(song);
  tag.fields[opl2::vgm::kSystem] = "AdLib-compatible OPL2";
  tag.fields[opl2::vgm::kConverter] = "opl2tool";
  tag.fields[opl2::vgm::kNotes] =
      (notes.empty() ? "" : notes + "\n") + "Song file: " + BaseName(song);
  opl2::vgm::VgmImage image;
  std::string error;
  if (!exporter.Finish(tag, &image, &error)) {
    std::fprintf(stderr, "opl2tool vgm: %s\n", error.c_str());
    return 1;
  }
  if (Interrupted()) {
    std::fprintf(stderr, "opl2tool vgm: interrupted; %s not written\n", out_path.c_str());
    return 130;
  }
  if (!opl2::songtext::WriteFileAtomically(out_path, image.bytes.data(), image.bytes.size(),
                                           &error)) {
    std::fprintf(stderr, "opl2tool vgm: cannot write %s: %s\n", out_path.c_str(), error.c_str());
    return 1;
  }
  return 0;
}

}  // namespace opl2tool
