#include "vgm/song_vgm_export.h"

#include "songfile/song_file.h"

namespace opl2::vgm {
namespace {

RenderOptions RenderOptionsFor(const VgmExportOptions& options) {
  RenderOptions r;
  r.loops = options.loops;
  r.max_seconds = options.max_seconds;
  r.fade_seconds = 0;  // a log of writes cannot fade: it ends where the fade would start
  return r;
}

}  // namespace

SongVgmExporter::SongVgmExporter(const VgmExportOptions& options)
    : renderer_(RenderOptionsFor(options)) {
  renderer_.set_observer(this);
}

LoadResult SongVgmExporter::Start(const Song* song) {
  return renderer_.Start(song);
}

LoadResult SongVgmExporter::StartFile(const char* song_file_name) {
  own_song_ = std::make_unique<Song>();
  const LoadResult result = LoadSongFile(song_file_name, *own_song_);
  if (result == LoadResult::kCannotOpen) return result;
  return Start(result == LoadResult::kLoaded ? own_song_.get() : nullptr);
}

bool SongVgmExporter::Advance(size_t samples) {
  scratch_.resize(samples);
  return renderer_.Render(scratch_.data(), samples) > 0;
}

double SongVgmExporter::seconds_played() const {
  return static_cast<double>(renderer_.samples_rendered()) / kChipSampleRate;
}

void SongVgmExporter::BeforeTick(const Engine& engine, uint64_t first_write_clock) {
  loop_finder_.BeforeTick(engine, {ticks_, first_write_clock, writer_.write_count()});
  ++ticks_;
}

void SongVgmExporter::OnWrite(const TimedWrite& write) {
  // A bus that runs behind can queue writes far past the cap: never kept.
  if (write.clock < renderer_.max_samples() * kMasterClocksPerSample) {
    writer_.AddWrite(write.clock, write.reg, write.value);
  }
}

bool SongVgmExporter::Finish(const Gd3Tag& tag, VgmImage* image, std::string* error) {
  loop_.reset();
  if (renderer_.end_reason() == RenderEnd::kLoopsDone) {
    if (const std::optional<TickMark> start =
            loop_finder_.Find(renderer_.engine(), renderer_.song())) {
      loop_ = LoopStart{start->first_write, start->clock};
      loop_tick_ = start->tick;
    }
  }
  return writer_.Finish(renderer_.end_clock(), loop_, tag, image, error);
}

}  // namespace opl2::vgm
