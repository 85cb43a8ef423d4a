// The exported files played back through the chip at their own timing, as a
// VGM player would, against the render of the same song.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "chip/opl2_chip.h"
#include "engine/busy_song.h"
#include "engine/harness.h"
#include "render/song_renderer.h"
#include "tools/run_tool.h"
#include "vgm/song_vgm_export.h"
#include "vgm/vgm_format.h"
#include "vgm/vgm_reader.h"

namespace opl2::test {
namespace {

// The chip sample before which a write at wait sample `s` is applied: the
// first one that starts after the write's time, as the render places a write
// at master clock c before sample floor(c / 72) + 1.
uint64_t ChipSampleOf(uint64_t s) {
  return s * vgm::kYm3812Clock / (uint64_t{vgm::kSampleRate} * 72) + 1;
}

struct ChipWrite {
  uint64_t sample;  // applied before this chip sample
  uint8_t reg;
  uint8_t value;
};

std::vector<int16_t> Replay(const std::vector<ChipWrite>& writes, size_t length) {
  Chip chip;
  chip.Reset();
  std::vector<int16_t> out(length);
  size_t pos = 0;
  size_t next = 0;
  while (pos < length) {
    while (next < writes.size() && writes[next].sample <= pos) {
      chip.Write(writes[next].reg, writes[next].value);
      ++next;
    }
    size_t stop = length;
    if (next < writes.size()) stop = std::min<size_t>(stop, writes[next].sample);
    chip.Generate(out.data() + pos, stop - pos);
    pos = stop;
  }
  return out;
}

// The render's writes as they reach the chip.
class WriteLog : public RenderObserver {
 public:
  void BeforeTick(const Engine&, uint64_t) override {}
  void OnWrite(const TimedWrite& w) override { writes.push_back({w.sample, w.reg, w.value}); }
  std::vector<ChipWrite> writes;
};

double IdenticalShare(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
  size_t same = 0;
  for (size_t i = 0; i < a.size(); ++i) same += a[i] == b[i];
  return a.empty() ? 1 : static_cast<double>(same) / a.size();
}

struct Comparison {
  size_t samples = 0;
  double identical = 0;       // share of identical samples
  double snr_db = 0;          // render power over difference power
  double writes_on_time = 0;  // share of writes on the render's own chip sample
};

// Exports `song`, replays the file through the chip and compares it with the
// render.
Comparison Compare(const char* name, const char* song, int loops) {
  vgm::VgmExportOptions options;
  options.loops = loops;
  vgm::SongVgmExporter exporter(options);
  EXPECT_EQ(exporter.StartFile(song), LoadResult::kLoaded) << name;
  while (exporter.Advance(50'000)) {
  }
  vgm::VgmImage image;
  std::string error;
  EXPECT_TRUE(exporter.Finish({}, &image, &error)) << error;
  vgm::VgmFile f;
  EXPECT_TRUE(vgm::ReadVgm(image.bytes.data(), image.bytes.size(), &f, &error)) << error;

  RenderOptions o;
  o.loops = loops;
  o.fade_seconds = 0;
  SongRenderer renderer(o);
  WriteLog log;
  renderer.set_observer(&log);
  const FileSong loaded(song);
  renderer.Start(loaded.get());
  std::vector<int16_t> rendered;
  int16_t block[8192];
  for (size_t n; (n = renderer.Render(block, 8192)) > 0;) {
    rendered.insert(rendered.end(), block, block + n);
  }

  // At their exact time, the render's writes give back the render: the
  // replay itself adds nothing.
  EXPECT_EQ(IdenticalShare(rendered, Replay(log.writes, rendered.size())), 1.0) << name;

  // The file's writes are the render's, none early, none more than one chip
  // sample late (where no 44.1 kHz instant falls in the write's own slot).
  std::vector<ChipWrite> from_file;
  size_t on_time = 0;
  EXPECT_LE(f.writes.size(), log.writes.size()) << name;
  for (size_t i = 0; i < f.writes.size() && i < log.writes.size(); ++i) {
    const vgm::VgmWriteAt& w = f.writes[i];
    from_file.push_back({ChipSampleOf(w.sample), w.reg, w.value});
    EXPECT_EQ(w.reg, log.writes[i].reg);
    EXPECT_EQ(w.value, log.writes[i].value);
    EXPECT_GE(from_file[i].sample, log.writes[i].sample);
    EXPECT_LE(from_file[i].sample, log.writes[i].sample + 1);
    on_time += from_file[i].sample == log.writes[i].sample;
  }
  const std::vector<int16_t> replayed = Replay(from_file, rendered.size());

  Comparison c;
  c.samples = rendered.size();
  c.identical = IdenticalShare(rendered, replayed);
  c.writes_on_time = f.writes.empty() ? 1 : static_cast<double>(on_time) / f.writes.size();
  double signal = 0;
  double noise = 0;
  for (size_t i = 0; i < rendered.size(); ++i) {
    signal += static_cast<double>(rendered[i]) * rendered[i];
    const double d = static_cast<double>(rendered[i]) - replayed[i];
    noise += d * d;
  }
  c.snr_db = noise == 0 ? INFINITY : 10 * std::log10(signal / noise);
  std::printf(
      "  %-7s %8zu samples  %6.2f %% identical  SNR %5.1f dB  %5.1f %% of %zu writes "
      "on their sample\n",
      name, c.samples, 100 * c.identical, c.snr_db, 100 * c.writes_on_time, f.writes.size());
  // Both end where the last tick's first write is due, ticks that run on
  // included.
  const double file_end = static_cast<double>(ChipSampleOf(f.total_samples));
  EXPECT_NEAR(file_end, c.samples, 2) << name;
  return c;
}

std::string Assemble(const char* name) {
  const std::string song = "/tmp/opl2-vgm-" + std::to_string(getpid()) + "-" + name + ".song";
  const ToolResult r = RunCommand(Tool(std::string("asm ") + OPL2_TEST_DATA_DIR +
                                       "/../../examples/" + name + ".opl2s -o " + song));
  EXPECT_EQ(r.status, 0) << r.err;
  return song;
}

// A file can place a write only on its 44.1 kHz grid, coarser than the
// chip's 49.7 kHz: about one chip sample in nine has no instant of the grid,
// and a write due there reaches the chip a sample late. A note keyed on a
// sample late plays the same a sample later, so the two differ wherever
// such a note sounds.
TEST(VgmReplay, SoundsLikeTheRender) {
  for (const char* name : {"demo", "minuet", "round"}) {
    const std::string song = Assemble(name);
    const Comparison c = Compare(name, song.c_str(), 2);
    unlink(song.c_str());
    EXPECT_GT(c.snr_db, 12) << name;
    EXPECT_GT(c.identical, 0.02) << name;
    EXPECT_GE(c.writes_on_time, 0.88) << name;
  }
  TempFile busy(BusySong());
  const Comparison b = Compare("busy", busy.path(), 2);
  EXPECT_GT(b.snr_db, 12);
  EXPECT_GE(b.writes_on_time, 0.88);

  // Timer B 255 with a slide on every channel: 72 writes a tick where 10
  // fit, so every tick runs on into the next.
  std::array<Bytes, kChannelCount> tracks;
  for (Bytes& t : tracks) t = {0xF6, 0xDA, 0x30, 0x50, 0x04, 0x0F, 0x02, 0x80};
  tracks[0].insert(tracks[0].begin(), {0xFC, 0xFF});
  TempFile fast(BuildSong(tracks));
  const Comparison f = Compare("fast", fast.path(), 4);
  EXPECT_GT(f.snr_db, 12);
  EXPECT_GE(f.writes_on_time, 0.88);
}

}  // namespace
}  // namespace opl2::test
