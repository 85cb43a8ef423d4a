#include "jukebox/play_session.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "songfile/song_file.h"

namespace opl2::jukebox {
namespace {

constexpr uint16_t kAllChannels = 0x1FF;
constexpr int kDefaultLoops = 2;

}  // namespace

PlaySession::PlaySession(std::vector<std::string> paths, const PlaySettings& settings)
    : paths_(std::move(paths)), settings_(settings), preparer_(&core_) {
  volume_db_ = static_cast<int>(std::lround(settings.volume_db));
  core_.SetVolume(settings.volume_db);
  loop_forever_ = settings.loops < 0;
}

const std::string& PlaySession::current_path() const {
  static const std::string none;
  return index_ < static_cast<int>(paths_.size()) ? paths_[index_] : none;
}

opl2_settings PlaySession::SettingsNow() const {
  opl2_settings s{};
  s.sample_rate = 0;
  s.fade_seconds = settings_.fade_seconds;
  if (loop_forever_) {
    s.loops = -1;
    s.max_seconds = 0;
  } else {
    s.loops = settings_.loops >= 0 ? settings_.loops : kDefaultLoops;
    s.max_seconds = kLongestSongSeconds;
  }
  return s;
}

void PlaySession::Begin() {
  if (paths_.empty()) {
    finished_ = true;
    return;
  }
  StartAt(0);
}

void PlaySession::StartAt(int index) {
  // Files that cannot be read are passed over here; files that are not
  // songs when the preparer reports them (Update).
  for (int tries = 0; tries < static_cast<int>(paths_.size()); ++tries) {
    index_ = index;
    std::vector<uint8_t> bytes;
    if (opl2::ReadSongFile(paths_[index].c_str(), &bytes)) {
      ++song_id_;
      seek_pending_ = false;
      line_emitted_ = false;
      facts_ = SongFacts{};
      preparer_.Start(song_id_, std::move(bytes), SettingsNow());
      return;
    }
    notes_.push_back("skipped " + paths_[index] + ": cannot be read");
    ++failures_in_a_row_;
    const int next = index + step_;
    if (next < 0 || next >= static_cast<int>(paths_.size())) {
      if (!settings_.repeat || failures_in_a_row_ >= static_cast<int>(paths_.size())) {
        finished_ = true;
        return;
      }
      index = (next + static_cast<int>(paths_.size())) % static_cast<int>(paths_.size());
    } else {
      index = next;
    }
  }
  finished_ = true;
}

void PlaySession::Advance(int step) {
  step_ = step;
  const int count = static_cast<int>(paths_.size());
  if (failures_in_a_row_ >= count) {
    finished_ = true;  // every song of the list failed
    return;
  }
  int next = index_ + step;
  if (next >= count || next < 0) {
    if (!settings_.repeat) {
      if (next < 0) {
        Seek(0, true);  // before the first song: the first from its start
        return;
      }
      finished_ = true;
      return;
    }
    next = (next + count) % count;
  }
  StartAt(next);
}

void PlaySession::Seek(double seconds, bool absolute) {
  if (!PlayingNow()) return;
  const double base =
      absolute ? 0.0 : static_cast<double>(seek_pending_ ? seek_target_ : state_.position);
  const double target = std::max(0.0, base + seconds * OPL2_NATIVE_RATE);
  uint64_t sample = static_cast<uint64_t>(std::llround(target));
  if (facts_.length_exact && facts_.length != kEndless) sample = std::min(sample, facts_.length);
  ++seek_id_;
  seek_pending_ = true;
  seek_target_ = sample;
  preparer_.Seek(song_id_, seek_id_, sample);
}

void PlaySession::ApplyMutes() {
  const uint16_t mask =
      solo_ >= 0 ? static_cast<uint16_t>(kAllChannels & ~(1u << solo_)) : mute_mask_;
  core_.SetMuted(mask);
}

KeyCommand PlaySession::PressKey(int32_t code) {
  const KeyCommand key = keys_.Map(code);
  Apply(key);
  return key;
}

void PlaySession::Apply(const KeyCommand& key) {
  switch (key.command) {
    case Command::kPause:
      paused_ = !paused_;
      core_.SetPaused(paused_);
      break;
    case Command::kSeek:
      Seek(key.value, false);
      break;
    case Command::kRestart:
      Seek(0, true);
      break;
    case Command::kNext:
      failures_in_a_row_ = 0;
      Advance(1);
      break;
    case Command::kPrevious:
      failures_in_a_row_ = 0;
      Advance(-1);
      break;
    case Command::kMute:
      if (solo_ >= 0) {
        // Leaving solo: the others stay muted, as they are heard now.
        mute_mask_ = static_cast<uint16_t>(kAllChannels & ~(1u << solo_));
        solo_ = -1;
      }
      mute_mask_ ^= static_cast<uint16_t>(1u << key.value);
      ApplyMutes();
      break;
    case Command::kSolo:
      solo_ = solo_ == key.value ? -1 : key.value;
      ApplyMutes();
      break;
    case Command::kUnmuteAll:
      solo_ = -1;
      mute_mask_ = 0;
      ApplyMutes();
      break;
    case Command::kVolume:
      volume_db_ = std::clamp(volume_db_ + key.value, kMinVolumeDb, kMaxVolumeDb);
      core_.SetVolume(volume_db_);
      break;
    case Command::kLoopMode:
      loop_forever_ = !loop_forever_;
      if (PlayingNow()) {
        ++seek_id_;
        preparer_.Resettle(song_id_, seek_id_, SettingsNow());
      }
      break;
    case Command::kHelp:
      help_ = !help_;
      break;
    default:
      break;
  }
}

void PlaySession::EmitSongLine(uint64_t samples) {
  if (line_emitted_) return;
  line_emitted_ = true;
  char length[32];
  if (samples == kEndless) {
    std::snprintf(length, sizeof length, "for ever");
  } else {
    FormatClock(samples, length, sizeof length);
  }
  song_lines_.push_back(paths_[index_] + "  " + length);
}

void PlaySession::Update() {
  core_.Read(&state_);
  if (preparer_.facts_version() != facts_version_) {
    facts_version_ = preparer_.facts_version();
    facts_ = preparer_.Facts();
  }
  if (finished_) return;
  if (facts_.song_id == song_id_ && facts_.status == SongFacts::Status::kFailed) {
    notes_.push_back("skipped " + paths_[index_] + ": " + facts_.error);
    facts_ = SongFacts{};
    ++failures_in_a_row_;
    Advance(step_);
    return;
  }
  if (!PlayingNow()) return;
  failures_in_a_row_ = 0;
  if (!line_emitted_ && facts_.song_id == song_id_ && facts_.length_exact) {
    ++songs_played_;
    EmitSongLine(facts_.length);
  }
  if (seek_pending_ && state_.seek_id == seek_id_) seek_pending_ = false;
  if (state_.ended && !seek_pending_) {
    if (!line_emitted_) {
      // Over before its length was found: it lasted as long as it played.
      ++songs_played_;
      EmitSongLine(state_.position);
    }
    step_ = 1;
    Advance(1);
  }
}

std::vector<std::string> PlaySession::TakeNotes() {
  return std::exchange(notes_, {});
}

std::vector<std::string> PlaySession::TakeSongLines() {
  return std::exchange(song_lines_, {});
}

const ScreenModel& PlaySession::model() {
  ScreenModel& m = model_;
  m.file = current_path();
  m.index = index_ + 1;
  m.count = static_cast<int>(paths_.size());
  const bool playing = PlayingNow();
  const bool facts_here = facts_.song_id == song_id_;
  m.opening = !playing;
  m.position = seek_pending_ ? seek_target_ : (playing ? state_.position : 0);
  m.endless = facts_here && facts_.length == kEndless;
  m.length = facts_here ? facts_.length : 0;
  m.length_exact = facts_here && facts_.length_exact;
  m.pass = facts_here ? facts_.passes.PassAt(m.position) : 0;
  m.passes = facts_here && facts_.loops >= 0 ? facts_.loops + 1 : 0;
  m.paused = paused_;
  m.volume_db = volume_db_;
  m.loop_forever = loop_forever_;
  m.loops = settings_.loops >= 0 ? settings_.loops : kDefaultLoops;
  m.solo_pending = keys_.solo_pending();
  m.help = help_;
  m.message = message_;
  for (int c = 0; c < 9; ++c) {
    const opl2_channel_view& v = state_.channels[c];
    ChannelRow& row = m.channels[c];
    row.key_on = playing && v.key_on != 0;
    row.block = v.block;
    row.fnum = v.fnum;
    row.instrument = v.instrument;
    row.volume = v.volume;
    // The meter falls back gently instead of flickering between buffers.
    shown_levels_[c] = playing ? std::max(v.level, shown_levels_[c] * 3 / 4) : 0;
    row.level = shown_levels_[c];
    row.solo = solo_ == c;
    row.muted = solo_ >= 0 ? solo_ != c : ((mute_mask_ >> c) & 1) != 0;
  }
  return m;
}

}  // namespace opl2::jukebox
