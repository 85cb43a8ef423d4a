// The session driven by keys, with the stream preparer on its own thread and
// the test as the sound device: every buffer it hands out must be the
// library's read of the song at the position the player says it is at.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <thread>

#include "jukebox/play_session.h"
#include "jukebox/song_scan.h"
#include "jukebox_support.h"

namespace opl2::test {
namespace {

using jukebox::PlaybackState;
using jukebox::PlaySession;
using jukebox::PlaySettings;

constexpr int kBuffer = 512;
constexpr int32_t kRight = -77, kLeft = -75, kUp = -72, kDown = -80, kHome = -71;

struct Buffer {
  PlaybackState after;
  std::vector<int16_t> samples;
};

// Pulls buffers from the session as a device would, without the clock.
class Device {
 public:
  explicit Device(PlaySession& session) : session_(session) {}
  const PlaybackState& Pull() {
    Buffer b;
    b.samples.resize(kBuffer);
    session_.core().Produce(b.samples.data(), kBuffer);
    session_.core().Read(&b.after);
    session_.Update();
    buffers_.push_back(std::move(b));
    return buffers_.back().after;
  }
  // Pulls until `done` (the preparer works meanwhile); false after 10 s.
  bool PullUntil(const std::function<bool(const PlaybackState&)>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      if (done(Pull())) return true;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return false;
  }
  const std::vector<Buffer>& buffers() const { return buffers_; }
  const PlaybackState& last() const { return buffers_.back().after; }

 private:
  PlaySession& session_;
  std::vector<Buffer> buffers_;
};

// The render the session plays with the given loops and fade.
std::vector<int16_t> Render(const std::string& path, int loops = 2, double fade = 8) {
  SongPtr song = Open(ReadBytes(path), Settings(0, loops, fade, jukebox::kLongestSongSeconds));
  return ReadRest(song.get());
}

// Every buffer of song `song_id` that played unpaused holds the render at
// the position the player reported for it; returns how many were checked.
int CheckAgainstRender(const Device& device, uint32_t song_id, const std::vector<int16_t>& render,
                       uint16_t muted = 0) {
  int checked = 0;
  for (const Buffer& b : device.buffers()) {
    const PlaybackState& s = b.after;
    if (s.song_id != song_id || !s.has_stream || s.ended || s.paused || s.muted != muted) continue;
    if (s.position < kBuffer) continue;  // the first buffer after a fade-in
    const uint64_t from = s.position - kBuffer;
    EXPECT_TRUE(std::equal(b.samples.begin(), b.samples.end(), render.begin() + from))
        << "song " << song_id << " at " << from;
    ++checked;
  }
  return checked;
}

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("opl2-jukebox-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Write(const std::string& name, const Bytes& bytes) {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
  }
  std::filesystem::path dir_;
};

TEST_F(SessionTest, SeeksLandExactlyWhereTheySay) {
  const std::string demo = ExampleSong("demo");
  PlaySession session({demo}, PlaySettings{});
  session.Begin();
  Device device(session);
  ASSERT_TRUE(device.PullUntil([](const PlaybackState& s) { return s.position >= Samples(2); }));

  // Each key: the position before it, and where it must land.
  struct Step {
    int32_t key;
    std::function<uint64_t(uint64_t)> target;
  } steps[] = {
      {kRight, [](uint64_t p) { return p + Samples(5); }},
      {kLeft, [](uint64_t p) { return p - Samples(5); }},
      {kRight, [](uint64_t p) { return p + Samples(5); }},
      {kHome, [](uint64_t) { return 0; }},
      {kDown, [](uint64_t) { return 0; }},  // no further back than the start
  };
  for (const Step& step : steps) {
    device.PullUntil([](const PlaybackState& s) { return s.position >= Samples(1); });
    const uint64_t before = device.last().position;
    EXPECT_EQ(session.model().position, before);
    session.PressKey(step.key);
    const uint64_t target = step.target(before);
    EXPECT_EQ(session.model().position, target);  // shown at once
    const uint32_t seek = device.last().seek_id;
    ASSERT_TRUE(device.PullUntil([&](const PlaybackState& s) { return s.seek_id != seek; }));
    EXPECT_EQ(device.last().position, target + kBuffer) << step.key;
    EXPECT_FALSE(session.seeking());
  }
  // Two keys at once add up from the first target.
  const uint64_t before = device.last().position;
  session.PressKey(kRight);
  session.PressKey(kRight);
  EXPECT_EQ(session.model().position, before + 2 * Samples(5));
  ASSERT_TRUE(device.PullUntil([](const PlaybackState&) { return true; }));
  device.PullUntil([&](const PlaybackState&) { return !session.seeking(); });
  EXPECT_EQ(device.last().position % kBuffer, (before + 2 * Samples(5)) % kBuffer);

  const std::vector<int16_t> render = Render(demo);
  EXPECT_GT(CheckAgainstRender(device, 1, render), 20);

  // Past the end: the song ends and so does the list, with status 0.
  session.PressKey(kUp);
  session.PressKey(kUp);
  ASSERT_TRUE(device.PullUntil([&](const PlaybackState&) { return session.finished(); }));
  EXPECT_EQ(session.exit_status(), 0);
}

TEST_F(SessionTest, MuteSoloAndUnmuteLeaveOutExactlyTheirChannels) {
  const std::string demo = ExampleSong("demo");
  PlaySession session({demo}, PlaySettings{});
  session.Begin();
  Device device(session);
  ASSERT_TRUE(device.PullUntil([](const PlaybackState& s) { return s.position >= Samples(3); }));
  const Bytes bytes = ReadBytes(demo);
  const opl2_settings s = Settings(0, 2, 8, jukebox::kLongestSongSeconds);

  struct Step {
    std::vector<int32_t> keys;
    uint16_t muted;
    const char* marks;  // M muted, S solo, . heard
  } steps[] = {
      {{'3'}, 1u << 3, "...M....."},
      {{'5'}, 1u << 3 | 1u << 5, "...M.M..."},
      {{'3'}, 1u << 5, ".....M..."},
      {{'s', '2'}, 0x1FF & ~(1u << 2), "MMSMMMMMM"},
      {{'s', '2'}, 1u << 5, ".....M..."},     // out of solo: back as before
      {{'s', '7', '7'}, 0x1FF, "MMMMMMMMM"},  // a digit leaves solo, as heard
      {{'a'}, 0, "........."},
  };
  for (const Step& step : steps) {
    for (int32_t k : step.keys) session.PressKey(k);
    ASSERT_TRUE(device.PullUntil([&](const PlaybackState& st) { return st.muted == step.muted; }));
    std::string marks;
    for (const auto& ch : session.model().channels) marks += ch.solo ? 'S' : (ch.muted ? 'M' : '.');
    EXPECT_EQ(marks, step.marks);
    // The next 40 buffers: the library's read with those channels muted.
    for (int i = 0; i < 40; ++i) device.Pull();
    const uint64_t end = device.last().position;
    const std::vector<int16_t> expected =
        LibraryRead(bytes, s, end - 40 * kBuffer, 40 * kBuffer, step.muted);
    std::vector<int16_t> heard;
    for (size_t b = device.buffers().size() - 40; b < device.buffers().size(); ++b) {
      heard.insert(heard.end(), device.buffers()[b].samples.begin(),
                   device.buffers()[b].samples.end());
    }
    EXPECT_EQ(heard, expected) << step.marks;
  }
}

TEST_F(SessionTest, NextAndPreviousStartSongsFromTheirStartAndTheListEnds) {
  const std::vector<std::string> songs = {ExampleSong("demo"), ExampleSong("minuet"),
                                          ExampleSong("round")};
  PlaySession session(songs, PlaySettings{});
  session.Begin();
  Device device(session);
  auto play_a_little = [&] {
    const uint32_t id = device.last().song_id;
    ASSERT_TRUE(device.PullUntil([&](const PlaybackState& s) {
      return s.song_id != id && s.has_stream && s.position >= 20 * kBuffer;
    }));
  };
  device.Pull();
  play_a_little();  // demo
  EXPECT_EQ(session.index(), 0);
  for (int32_t key : {'n', '>', '<', 'p'}) {  // minuet, round, minuet, demo
    session.PressKey(key);
    play_a_little();
  }
  EXPECT_EQ(session.index(), 0);
  session.PressKey('p');  // before the first: the first again, from its start
  const uint32_t seek = device.last().seek_id;
  ASSERT_TRUE(device.PullUntil([&](const PlaybackState& s) { return s.seek_id != seek; }));
  EXPECT_EQ(device.last().position, uint64_t{kBuffer});

  // Song ids 1..5 played demo, minuet, round, minuet, demo.
  const char* order[] = {"demo", "minuet", "round", "minuet", "demo"};
  std::map<std::string, std::vector<int16_t>> renders;
  for (uint32_t id = 1; id <= 5; ++id) {
    auto& render = renders[order[id - 1]];
    if (render.empty()) render = Render(ExampleSong(order[id - 1]));
    EXPECT_GE(CheckAgainstRender(device, id, render), 20) << order[id - 1];
  }
  session.PressKey('n');
  session.PressKey('n');
  session.PressKey('n');  // past the last song
  ASSERT_TRUE(device.PullUntil([&](const PlaybackState&) { return session.finished(); }));
  EXPECT_EQ(session.exit_status(), 0);
}

TEST_F(SessionTest, SongsPlayToTheirEndOneAfterAnotherAndBadFilesAreSkipped) {
  // A note of 64 ticks: the song ends half a second after the chip falls silent.
  const Bytes short_song = SongWithTrack0({0xFD, 0x64, 0x40, 0x40, 0x0F, 0x10, 0x80});
  const std::string a = Write("a.song", short_song);
  const std::string text = Write("notes.txt", {'h', 'i'});
  const std::string b = Write("b.song", SongWithTrack0({0xFD, 0x64, 0x44, 0x20, 0x80}));
  PlaySession session({a, text, (dir_ / "missing.song").string(), b}, PlaySettings{});
  session.Begin();
  Device device(session);
  ASSERT_TRUE(device.PullUntil([&](const PlaybackState&) { return session.finished(); }));
  EXPECT_EQ(session.exit_status(), 0);
  const std::vector<std::string> notes = session.TakeNotes();
  ASSERT_EQ(notes.size(), 2u);
  EXPECT_EQ(notes[0], "skipped " + text + ": not a song: its format id is 104, not 2");
  EXPECT_EQ(notes[1], "skipped " + (dir_ / "missing.song").string() + ": cannot be read");
  // One line per song with the length the library gives it.
  const std::vector<std::string> lines = session.TakeSongLines();
  ASSERT_EQ(lines.size(), 2u);
  char length[2][16];
  jukebox::FormatClock(Render(a).size(), length[0], sizeof length[0]);
  jukebox::FormatClock(Render(b).size(), length[1], sizeof length[1]);
  EXPECT_EQ(lines[0], a + "  " + length[0]);
  EXPECT_EQ(lines[1], b + "  " + length[1]);

  // Both songs played whole, each from its first sample to its last.
  for (uint32_t id : {1u, 3u}) {
    const std::vector<int16_t> render = Render(id == 1 ? a : b);
    std::vector<int16_t> heard;
    for (const Buffer& buf : device.buffers()) {
      if (buf.after.song_id != id || !buf.after.has_stream) continue;
      const size_t fresh = std::min<uint64_t>(kBuffer, render.size() - heard.size());
      heard.insert(heard.end(), buf.samples.begin(), buf.samples.begin() + fresh);
      if (heard.size() == render.size()) break;
    }
    EXPECT_EQ(heard, render) << id;
  }

  PlaySession none({text}, PlaySettings{});
  none.Begin();
  Device idle(none);
  ASSERT_TRUE(idle.PullUntil([&](const PlaybackState&) { return none.finished(); }));
  EXPECT_EQ(none.exit_status(), 1);
}

TEST_F(SessionTest, SwitchingToLoopForEverKeepsPlayingWithoutABreak) {
  const std::string demo = ExampleSong("demo");
  PlaySession session({demo}, PlaySettings{});
  session.Begin();
  Device device(session);
  ASSERT_TRUE(device.PullUntil([](const PlaybackState& s) { return s.position >= Samples(2); }));
  EXPECT_FALSE(session.model().endless);
  session.PressKey('l');
  ASSERT_TRUE(device.PullUntil([&](const PlaybackState&) { return session.model().endless; }));
  for (int i = 0; i < 100; ++i) device.Pull();
  // The position never jumps, and the sound is the song's all along (the
  // two renders agree up to the first fade).
  const std::vector<int16_t> render = Render(demo);
  uint64_t previous = 0;
  for (const Buffer& b : device.buffers()) {
    if (!b.after.has_stream) continue;
    if (previous != 0) {
      EXPECT_EQ(b.after.position, previous + kBuffer);
    }
    previous = b.after.position;
  }
  EXPECT_GT(CheckAgainstRender(device, 1, render), 100);
  EXPECT_TRUE(session.model().loop_forever);
}

TEST(SongScan, PassesBeginAtTheTicksThatJumpBack) {
  // Loop point, C4 for 16 ticks, end: rows at ticks 16, 32, 48; the jumps
  // back at ticks 32 and 48 start passes 2 and 3 (the fade, with 2 loops).
  constexpr uint64_t kTick180 = 77'824;  // OPM cycles of a tick at Timer B 180
  auto tick_sample = [](uint64_t tick) { return tick * kTick180 * 3'579'545 / 3'400'000 / 72 + 1; };
  const Bytes song = SongWithTrack0({0xF6, 0x40, 0x10, 0x80});
  RenderOptions options;
  options.loops = 2;
  options.fade_seconds = 3;
  const jukebox::SongScan scan = jukebox::ScanSong(song, options, Samples(3600));
  EXPECT_EQ(scan.passes.starts, (std::vector<uint64_t>{tick_sample(32), tick_sample(48)}));
  EXPECT_EQ(scan.passes.PassAt(0), 1);
  EXPECT_EQ(scan.passes.PassAt(tick_sample(32) - 1), 1);
  EXPECT_EQ(scan.passes.PassAt(tick_sample(32)), 2);
  EXPECT_EQ(scan.passes.PassAt(tick_sample(48)), 3);
  EXPECT_TRUE(scan.end.known);
  EXPECT_EQ(scan.end.end_sample, tick_sample(48) + Samples(3));

  const jukebox::SongScan stops =
      jukebox::ScanSong(SongWithTrack0({0x40, 0x10, 0x80}), options, Samples(3600));
  EXPECT_TRUE(stops.passes.starts.empty());
  EXPECT_EQ(stops.passes.PassAt(1000), 0);
  EXPECT_TRUE(stops.end.stops);
}

}  // namespace
}  // namespace opl2::test
