// opl2tool trace: the player's start-up and then N ticks, one line per
// register write ("<tick> w <reg> <val>") and per Timer B arming
// ("<tick> tb <n>"). Tick 0 is the start-up.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "bus/recording_port.h"
#include "commands.h"
#include "sequencer/sequencer.h"
#include "sequencer/song_start.h"
#include "songfile/song_file.h"

namespace opl2tool {
namespace {

constexpr long long kDefaultTicks = 2000;

class TraceWriter : public opl2::RegisterWriteSink, public opl2::TimerB {
 public:
  explicit TraceWriter(std::FILE* out) : out_(out) {}
  void set_tick(long long tick) { tick_ = tick; }

  void OnRegisterWrite(uint8_t reg, uint8_t value) override {
    std::fprintf(out_, "%lld w %02x %02x\n", tick_, reg, value);
  }
  void Arm(uint8_t timer_b_value) override {
    std::fprintf(out_, "%lld tb %u\n", tick_, static_cast<unsigned>(timer_b_value));
  }

 private:
  std::FILE* out_;
  long long tick_ = 0;
};

void PrintHelp(std::FILE* out) {
  std::fprintf(out,
               "usage: opl2tool trace SONG [--ticks N]\n\n"
               "Runs the player's start-up (chip reset, song load, first Timer B arming)\n"
               "and then N ticks (default %lld) with a virtual timer, printing one line\n"
               "per register write and per Timer B arming:\n"
               "  <tick> w <reg> <val>   register write, two lowercase hex digits each\n"
               "  <tick> tb <n>          Timer B armed with n\n"
               "Tick 0 is the start-up; tick k is the k-th timer tick.\n",
               kDefaultTicks);
}

bool ParseCount(const char* text, long long* out) {
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || value < 0) return false;
  *out = value;
  return true;
}

}  // namespace

int RunTrace(int argc, char** argv) {
  const char* song = nullptr;
  long long ticks = kDefaultTicks;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      PrintHelp(stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--ticks") == 0) {
      if (i + 1 >= argc || !ParseCount(argv[i + 1], &ticks)) {
        std::fprintf(stderr, "opl2tool trace: --ticks needs a whole number of ticks\n");
        return 2;
      }
      ++i;
    } else if (song == nullptr) {
      song = argv[i];
    } else {
      std::fprintf(stderr, "opl2tool trace: unexpected argument '%s'\n", argv[i]);
      return 2;
    }
  }
  if (song == nullptr) {
    PrintHelp(stderr);
    return 2;
  }

  // An unreadable song is refused before anything is printed.
  auto loaded = std::make_unique<opl2::Song>();
  const opl2::LoadResult load = opl2::LoadSongFile(song, *loaded);
  if (load == opl2::LoadResult::kCannotOpen) {
    std::fprintf(stderr, "Can't open file %s\n", song);
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
  for (long long tick = 1; tick <= ticks; ++tick) {
    writer.set_tick(tick);
    opl2::TimerTick(*engine);
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace opl2tool
