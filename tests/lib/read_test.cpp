// Reading through the C API at the chip's rate gives, sample for sample,
// what `opl2tool render --rate native` writes, for the examples, generated
// songs and damaged files; and bytes that are not a song are refused.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "lib_support.h"
#include "songtext/random_songs.h"
#include "tools/run_tool.h"

namespace opl2::test {
namespace {

namespace fs = std::filesystem;

Bytes FileBytes(const fs::path& path) {
  const std::string s = ReadWholeFile(path.string());
  return Bytes(s.begin(), s.end());
}

// Every song the test reads: examples, songs kept for tests, fuzz inputs
// (damaged and odd files among them) and generated ones.
std::vector<std::pair<std::string, Bytes>> Songs() {
  std::vector<std::pair<std::string, Bytes>> songs;
  const fs::path examples = fs::path(OPL2_BIN_DIR) / ".." / "examples";
  for (const char* name : {"demo", "minuet", "round"}) {
    songs.emplace_back(name, FileBytes(examples / (std::string(name) + ".song")));
  }
  for (const char* dir : {"/songs", "/../corpus/fuzz_song"}) {
    for (const auto& entry : fs::directory_iterator(std::string(OPL2_TEST_DATA_DIR) + dir)) {
      songs.emplace_back(entry.path().filename().string(), FileBytes(entry.path()));
    }
  }
  RandomSongs gen(2024);
  for (int i = 0; i < 6; ++i) {
    songs.emplace_back("compact" + std::to_string(i), gen.CompactSong());
    songs.emplace_back("scrambled" + std::to_string(i), gen.ScrambledSong());
    songs.emplace_back("damaged" + std::to_string(i), gen.DamagedSong());
  }
  return songs;
}

TEST(NativeRead, EqualsTheRenderOfExamplesGeneratedAndDamagedSongs) {
  const std::string dir = fs::temp_directory_path() / ("opl2-lib-" + std::to_string(getpid()));
  fs::create_directories(dir);
  int compared = 0;
  for (const auto& [name, bytes] : Songs()) {
    const std::string song = dir + "/song";
    std::ofstream(song, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
    const ToolResult r =
        RunCommand(Tool("render " + song + " -o " + dir + "/out.wav --rate native --loops 1 " +
                        "--fade 1.5 --seconds 6"));
    // The tool refuses bytes that are not a song (the library plays them
    // silently, as the player does).
    if (bytes.empty() || bytes[0] != 2) {
      EXPECT_EQ(r.status, 1) << name;
      continue;
    }
    ASSERT_EQ(r.status, 0) << name << ": " << r.err;
    const std::vector<int16_t> rendered = WavSamples(ReadWholeFile(dir + "/out.wav"));

    const opl2_settings s = Settings(0, 1, 1.5, 6);
    char error[256] = "";
    SongPtr lib(opl2_open(bytes.data(), bytes.size(), &s, error, sizeof error));
    if (bytes.empty() || bytes[0] != 2) {
      // Not a song: refused by the library, silence from the player and the tool.
      EXPECT_EQ(lib, nullptr) << name;
      EXPECT_NE(std::string(error).find("not a song"), std::string::npos) << name << error;
      for (int16_t v : rendered) ASSERT_EQ(v, 0) << name;
      continue;
    }
    ASSERT_NE(lib, nullptr) << name << ": " << error;
    // An odd block size: where the song ends does not depend on the reads.
    const std::vector<int16_t> read = ReadRest(lib.get(), 777);
    ASSERT_EQ(read.size(), rendered.size()) << name;
    EXPECT_TRUE(read == rendered) << name;
    EXPECT_EQ(opl2_duration(lib.get()), static_cast<double>(read.size()) / OPL2_NATIVE_RATE)
        << name;
    ++compared;
  }
  EXPECT_GT(compared, 60);
  fs::remove_all(dir);
}

TEST(Open, RefusesBytesThatAreNotASongAndSettingsOutOfRange) {
  const Bytes song = {2,    26,   0,    27,   0, 28, 0, 29, 0, 30, 0, 31,   0,    32,   0,    33,
                      0,    34,   0,    35,   0, 0,  0, 0,  0, 35, 0, 0x80, 0x80, 0x80, 0x80, 0x80,
                      0x80, 0x80, 0x80, 0x80, 1, 1,  1, 1,  1, 1,  1, 1,    1,    1,    0};
  struct Case {
    Bytes bytes;
    opl2_settings settings;
    const char* reason;
  } cases[] = {
      {{}, Settings(0), "not a song: the data is empty"},
      {{3, 0, 0}, Settings(0), "not a song: its format id is 3, not 2"},
      {{0}, Settings(0), "not a song: its format id is 0, not 2"},
      {song, Settings(7'999), "sample_rate must be 0"},
      {song, Settings(0, -2), "loops must be -1"},
      {song, Settings(0, 2, -1), "fade_seconds must be"},
      {song, Settings(0, 2, 8, -1), "max_seconds must be"},
  };
  for (const Case& c : cases) {
    char error[128] = "untouched";
    EXPECT_EQ(opl2_open(c.bytes.data(), c.bytes.size(), &c.settings, error, sizeof error), nullptr);
    EXPECT_EQ(std::string(error).rfind(c.reason, 0), 0u) << error;
    EXPECT_EQ(std::string(error).find('\n'), std::string::npos);
  }
  char tiny[8];
  EXPECT_EQ(opl2_open(nullptr, 0, nullptr, tiny, sizeof tiny), nullptr);
  EXPECT_EQ(std::string(tiny), "not a s");  // cut to the room given, terminated
  SongPtr ok(opl2_open(song.data(), song.size(), nullptr, nullptr, 0));
  EXPECT_NE(ok, nullptr);
  EXPECT_EQ(opl2_sample_rate(ok.get()), 48'000);
  EXPECT_EQ(std::string(opl2_version()).rfind("opl2play ", 0), 0u);
}

TEST(Threads, SongsInTheirOwnThreadsReadAsAlone) {
  const fs::path examples = fs::path(OPL2_BIN_DIR) / ".." / "examples";
  const Bytes demo = FileBytes(examples / "demo.song");
  const Bytes round = FileBytes(examples / "round.song");
  const opl2_settings s = Settings(0, 1, 2, 30);
  const std::vector<int16_t> demo_alone = ReadRest(Open(demo, s).get());
  const std::vector<int16_t> round_alone = ReadRest(Open(round, s).get());
  std::vector<int16_t> results[4];
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&, i] {
      SongPtr song = Open(i % 2 ? round : demo, s);
      // Seek about on the way, so the threads do different work at once.
      opl2_seek(song.get(), 5.0 + i);
      opl2_seek(song.get(), 0);
      results[i] = ReadRest(song.get(), 1000 + 100 * i);
    });
  }
  for (std::thread& t : threads) t.join();
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(results[i] == (i % 2 ? round_alone : demo_alone)) << i;
}

}  // namespace
}  // namespace opl2::test
