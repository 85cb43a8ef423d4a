// The start-up every run shares, up to the first arming of Timer B: tuning,
// Timer B value 180, chip reset, song load, playing, first arming. The
// player, the tools and the library all start a song through this.
#pragma once

#include "sequencer/channel_state.h"
#include "song/song_loader.h"

namespace opl2 {

// The steps of the start-up that differ between runs.
class SongStartHooks {
 public:
  virtual ~SongStartHooks() = default;
  // Reads the song, after the chip reset. On kLoaded `song` is the song to
  // play; it must outlive the run.
  virtual LoadResult ReadSong(const Song*& song) = 0;
  // After the song is in place (or found not to be one), before `playing`
  // is set and Timer B is armed for the first time: the player starts its
  // timer library here.
  virtual void BeforePlaying() {}
};

// On kCannotOpen nothing after the chip reset has happened.
LoadResult StartSong(Engine& engine, SongStartHooks& hooks);

// A song read before; null when its bytes were not a song (kNotASong).
LoadResult StartSong(Engine& engine, const Song* song);

// Gives the engine its song: the built-in patch into all 9 channels, then
// every channel at the start of its track.
void InstallSong(Engine& engine, const Song& song);

}  // namespace opl2
