#include "sequencer/song_start.h"

#include "opl/register_port.h"
#include "sequencer/engine_voice.h"
#include "sequencer/sequencer.h"

namespace opl2 {
namespace {

class SongReadBefore : public SongStartHooks {
 public:
  explicit SongReadBefore(const Song* song) : song_(song) {}
  LoadResult ReadSong(const Song*& song) override {
    song = song_;
    return song_ != nullptr ? LoadResult::kLoaded : LoadResult::kNotASong;
  }

 private:
  const Song* song_;
};

}  // namespace

void InstallSong(Engine& engine, const Song& song) {
  engine.song = &song;
  for (int c = 0; c < kChannelCount; ++c) {
    LoadPatch(*engine.port, c, engine.channels[c], DEFAULT_PATCH);
  }
  ResetChannelState(engine);
}

LoadResult StartSong(Engine& engine, SongStartHooks& hooks) {
  InstallTuning();
  engine.seq.timer_b_value = kStartTimerBValue;
  OplReset(*engine.port);
  const Song* song = nullptr;
  const LoadResult result = hooks.ReadSong(song);
  if (result == LoadResult::kCannotOpen) return result;
  if (result == LoadResult::kLoaded) InstallSong(engine, *song);
  hooks.BeforePlaying();
  engine.seq.playing = 1;
  ArmTimerB(engine);
  return result;
}

LoadResult StartSong(Engine& engine, const Song* song) {
  SongReadBefore hooks(song);
  return StartSong(engine, hooks);
}

}  // namespace opl2
