// opl2tool trace: the player's start-up and then N ticks, one line per
// register write ("<tick> w <reg> <val>") and per Timer B arming
// ("<tick> tb <n>"). Tick 0 is the start-up.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>

#include "bus/recording_port.h"
#include "command_line.h"
#include "commands.h"
#include "sequencer/sequencer.h"
#include "sequencer/song_start.h"
#include "song/song_loader.h"
#include "songfile/song_file.h"
#include "tool_files.h"

namespace opl2tool {
namespace {

constexpr int64_t kDefaultTicks = 2000;
constexpr int64_t kMaxTicks = 100'000'000;

class TraceWriter : public opl2::RegisterWriteSink, public opl2::TimerB {
 public:
  explicit TraceWriter(std::FILE* out) : out_(out) {}
  void set_tick(int64_t tick) { tick_ = tick; }

  void OnRegisterWrite(uint8_t reg, uint8_t value) override {
    std::fprintf(out_, "%lld w %02x %02x\n", static_cast<long long>(tick_), reg, value);
  }
  void Arm(uint8_t timer_b_value) override {
    std::fprintf(out_, "%lld tb %u\n", static_cast<long long>(tick_),
                 static_cast<unsigned>(timer_b_value));
  }

 private:
  std::FILE* out_;
  int64_t tick_ = 0;
};

void PrintHelp(std::FILE* out) {
  std::fprintf(out,
               "usage: opl2tool trace SONG [--ticks N]\n\n"
               "Runs the player's start-up (chip reset, song load, first Timer B arming)\n"
               "and then N ticks with a virtual timer, printing one line per register\n"
               "write and per Timer B arming:\n"
               "  <tick> w <reg> <val>   register write, two lowercase hex digits each\n"
               "  <tick> tb <n>          Timer B armed with n\n"
               "Tick 0 is the start-up; tick k is the k-th timer tick. SONG '-' reads the\n"
               "song from standard input.\n\n"
               "  --ticks N   ticks to run, 0 to %lld (default %lld)\n",
               static_cast<long long>(kMaxTicks), static_cast<long long>(kDefaultTicks));
}

}  // namespace

int RunTrace(int argc, char** argv) {
  CommandLine cl("trace", {{"ticks", 0, "N"}});
  if (!cl.Parse(argc, argv)) return 2;
  if (cl.help()) {
    PrintHelp(stdout);
    return 0;
  }
  int64_t ticks = kDefaultTicks;
  if (!cl.Integer("ticks", 0, kMaxTicks, &ticks) || !cl.Positionals(1, 1, "a SONG")) return 2;
  const std::string song = cl.positionals()[0];

  // An unreadable song is refused before anything is printed, with the
  // player's own message.
  auto loaded = std::make_unique<opl2::Song>();
  opl2::LoadResult load = opl2::LoadResult::kCannotOpen;
  if (song == "-") {
    InputBytes bytes;
    if (!bytes.Read(cl, song)) return 1;
    load = opl2::LoadSong(std::span<const uint8_t>(bytes.data(), bytes.size()), *loaded);
  } else {
    load = opl2::LoadSongFile(song.c_str(), *loaded);
  }
  if (load == opl2::LoadResult::kCannotOpen) {
    std::fprintf(stderr, "Can't open file %s\n", song.c_str());
    return 1;
  }

  static char buffer[1 << 16];
  std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  TraceWriter writer(stdout);
  opl2::RecordingPort port(&writer);
  auto engine = std::make_unique<opl2::Engine>();
  engine->port = &port;
  engine->timer = &writer;

  opl2::StartSong(*engine, load == opl2::LoadResult::kLoaded ? loaded.get() : nullptr);
  for (int64_t tick = 1; tick <= ticks; ++tick) {
    writer.set_tick(tick);
    opl2::TimerTick(*engine);
    if (std::ferror(stdout) != 0) break;
  }
  return FinishStandardOutput(cl) ? 0 : 1;
}

}  // namespace opl2tool
