#include "sequencer/song_start.h"

#include "opl/register_port.h"
#include "opl/voice.h"
#include "sequencer/sequencer.h"

namespace opl2 {

LoadResult StartSong(Engine& engine, const char* song_file_name) {
  InstallTuning();
  engine.seq.timer_b_value = kStartTimerBValue;
  OplReset(*engine.port);
  const LoadResult result = LoadSong(engine, song_file_name);
  if (result == LoadResult::kCannotOpen) return result;
  engine.seq.playing = 1;
  ArmTimerB(engine);
  return result;
}

}  // namespace opl2
