// opl2tool play: the interactive player. Songs from files, directories and
// patterns, played in order on the emulated chip through the sound device,
// with a screen of keys, time, loops and channels (see src/jukebox).
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "command_line.h"
#include "commands.h"
#include "jukebox/play_loop.h"
#include "jukebox/play_session.h"
#include "jukebox/playlist.h"
#include "output/sdl_device_output.h"

namespace opl2tool {
namespace {

void PrintHelp(std::FILE* out) {
  std::fprintf(out,
               "usage: opl2tool play [options] FILE|DIR|PATTERN...\n\n"
               "Plays the songs in order on the emulated OPL2 chip, each to its end, then\n"
               "exits. A directory plays its song files sorted by name; a quoted pattern\n"
               "(* ? [...]) the files it matches. Files that are not songs are skipped with\n"
               "a note.\n\n"
               "  --loops N        looping songs: times every channel jumps back before the\n"
               "                   fade (default 2); -1 loops for ever\n"
               "  --fade S         fade-out of looping songs in seconds (default 8)\n"
               "  --volume DB      output volume in dB, %d..%d (default 0: the chip as it is)\n"
               "  --shuffle        the list in a random order\n"
               "  --repeat         the list for ever\n"
               "  --device NAME    the sound device to play on (see --list-devices)\n"
               "  --list-devices   print the sound devices and exit\n"
               "  --no-screen      one line per song instead of the full screen\n\n"
               "Keys: Space pause, Left/Right seek 5 s, Down/Up seek 60 s, Home restart,\n"
               "n/p (or > <) next/previous song, 0..8 mute a channel, s then 0..8 solo,\n"
               "a unmute all, + - volume, l loop count / for ever, ? keys, q or Escape quit.\n\n"
               "With standard output not a terminal, one line per song (name and length);\n"
               "with standard input not a terminal, no keys. Exit status 0 at the end of\n"
               "the list or after q, 1 when no song could be played, 2 for a wrong command\n"
               "line, 130 after Ctrl+C.\n",
               opl2::jukebox::kMinVolumeDb, opl2::jukebox::kMaxVolumeDb);
}

class SessionSource : public opl2::SampleSource {
 public:
  explicit SessionSource(opl2::jukebox::PlaybackCore* core) : core_(core) {}
  void Produce(int16_t* out, int count) override { core_->Produce(out, count); }

 private:
  opl2::jukebox::PlaybackCore* core_;
};

int ListDevices() {
  std::string error;
  const std::vector<std::string> names = opl2::SdlDeviceOutput::DeviceNames(&error);
  if (!error.empty()) {
    std::fprintf(stderr, "opl2tool play: no sound devices: %s\n", error.c_str());
    return 1;
  }
  for (const std::string& name : names) std::printf("%s\n", name.c_str());
  if (names.empty()) std::fprintf(stderr, "opl2tool play: the sound system names no devices\n");
  return 0;
}

// Opens the device; without one (and none asked for by name) the player
// plays silently on SDL's dummy device, which keeps the clock.
bool OpenDevice(opl2::SdlDeviceOutput* device, SessionSource* source, const std::string& name) {
  opl2::SdlDeviceOutput::Request request;
  request.buffer_samples = 512;
  request.device = name;
  if (device->Open(source, request)) return true;
  if (!name.empty()) {
    std::fprintf(stderr, "opl2tool play: cannot open the sound device '%s': %s (--list-devices)\n",
                 name.c_str(), device->error().c_str());
    return false;
  }
  const std::string reason = device->error();
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  if (!device->Open(source, request)) {
    std::fprintf(stderr, "opl2tool play: no sound device: %s\n", reason.c_str());
    return false;
  }
  std::fprintf(stderr, "opl2tool play: no sound device (%s); playing silently\n", reason.c_str());
  return true;
}

}  // namespace

int RunPlay(int argc, char** argv) {
  CommandLine cl("play", {{"loops", 0, "N"},
                          {"fade", 0, "S"},
                          {"volume", 0, "DB"},
                          {"shuffle", 0, nullptr},
                          {"repeat", 0, nullptr},
                          {"device", 0, "NAME"},
                          {"list-devices", 0, nullptr},
                          {"no-screen", 0, nullptr}});
  if (!cl.Parse(argc, argv)) return 2;
  if (cl.help()) {
    PrintHelp(stdout);
    return 0;
  }
  if (cl.Has("list-devices")) return ListDevices();
  opl2::jukebox::PlaySettings settings;
  int64_t loops = settings.loops;
  if (!cl.Integer("loops", -1, 1'000'000, &loops) ||
      !cl.Number("fade", 0, 3'600, &settings.fade_seconds) ||
      !cl.Number("volume", opl2::jukebox::kMinVolumeDb, opl2::jukebox::kMaxVolumeDb,
                 &settings.volume_db)) {
    return 2;
  }
  settings.loops = static_cast<int>(loops);
  settings.repeat = cl.Has("repeat");
  const bool shuffle = cl.Has("shuffle"), no_screen = cl.Has("no-screen");
  const std::string device_name = cl.Value("device") != nullptr ? *cl.Value("device") : "";
  if (!cl.Positionals(1, SIZE_MAX, "a song, a directory or a pattern")) return 2;
  const std::vector<std::string>& names = cl.positionals();

  opl2::jukebox::Playlist list = opl2::jukebox::ExpandPlaylist(names);
  for (const std::string& note : list.notes)
    std::fprintf(stderr, "opl2tool play: %s\n", note.c_str());
  if (list.paths.empty()) {
    std::fprintf(stderr, "opl2tool play: nothing to play\n");
    return 1;
  }
  if (shuffle) {
    std::mt19937 random(std::random_device{}());
    opl2::jukebox::Shuffle(&list, &random);
  }

  opl2::jukebox::PlaySession session(list.paths, settings);
  SessionSource source(&session.core());
  opl2::SdlDeviceOutput device;
  if (!OpenDevice(&device, &source, device_name)) return 1;

  opl2::jukebox::LoopSetup setup;
  setup.keys = isatty(STDIN_FILENO) == 1;
  setup.screen = isatty(STDOUT_FILENO) == 1 && !no_screen;
  const int status = opl2::jukebox::RunPlayLoop(session, setup);

  // Out without a click: the pause's fade, then the device closes.
  session.core().SetPaused(true);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
  opl2::jukebox::PlaybackState state;
  do {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    session.core().Read(&state);
  } while (!state.paused && state.has_stream && !state.ended &&
           std::chrono::steady_clock::now() < deadline);
  device.Close();
  return status;
}

}  // namespace opl2tool
