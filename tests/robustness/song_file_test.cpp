// Song files that are not what they seem: read-only, not regular files,
// gone by the time they are opened, enormous, or with names no one would
// type. The player's answer is always one of three: "NAMEdoes not exist,
// mister." with status 0, "Can't open file NAME" with status 1, or playing
// until a key or a stop signal with status 0.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "engine/harness.h"
#include "player/file_exists.h"
#include "process_support.h"
#include "song/song_loader.h"

namespace opl2::test {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::seconds;

const std::string kPlayer = std::string(OPL2_BIN_DIR) + "/opl2play";
const std::string kNoDevice = "SDL_AUDIODRIVER=nowhere";

class BadSongFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("opl2-files-" + std::to_string(getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(dir_);
  }

  // Runs the player on `name` with no key to come. A run still going after
  // a second is playing: SIGTERM ends it as a user would.
  struct Outcome {
    bool played = false;
    std::optional<int> status;
    std::string out, err;
  };
  Outcome Run(const std::string& name) {
    Child c = Spawn(kPlayer, {name}, {kNoDevice}, Input::kDevNull);
    Outcome o;
    o.status = PollExit(c.pid, seconds(1));
    if (!o.status) {
      o.played = true;
      kill(c.pid, SIGTERM);
      o.status = WaitExit(c.pid, seconds(10));
    }
    o.out = c.Out();
    o.err = c.Err();
    Cleanup(c);
    return o;
  }

  fs::path dir_;
};

TEST_F(BadSongFiles, EntriesThatAreNotReadableRegularFilesAreRefusedAtOnceWithStatus1) {
  const std::string song = WriteBytes((dir_ / "tune.song").string(), LoopingTune());
  fs::create_directory(dir_ / "folder.song");
  const std::string fifo = (dir_ / "fifo.song").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string fed_fifo = (dir_ / "fed-fifo.song").string();
  ASSERT_EQ(mkfifo(fed_fifo.c_str(), 0600), 0);
  const int writer = open(fed_fifo.c_str(), O_RDWR | O_NONBLOCK);  // a writer is there
  ASSERT_GE(writer, 0);
  const std::string dangling = (dir_ / "dangling.song").string();
  fs::create_symlink(dir_ / "nothing-here", dangling);

  std::vector<std::string> names = {(dir_ / "folder.song").string(), fifo, fed_fifo, "/dev/null",
                                    dangling};
  if (geteuid() != 0) {  // root reads every file
    const std::string locked = WriteBytes((dir_ / "locked.song").string(), LoopingTune());
    chmod(locked.c_str(), 0);
    names.push_back(locked);
  }
  for (const std::string& name : names) {
    const Outcome o = Run(name);
    EXPECT_FALSE(o.played) << name;
    ASSERT_TRUE(o.status.has_value()) << name;
    EXPECT_EQ(*o.status, 1) << name;
    EXPECT_EQ(o.err, "Can't open file " + name + "\n") << name;
    EXPECT_EQ(o.out, "") << name;
  }
  close(writer);
}

TEST_F(BadSongFiles, ReadOnlySongsAndNamesWithNewlinesOrBrokenUtf8Play) {
  const std::string read_only = WriteBytes((dir_ / "ro.song").string(), LoopingTune());
  chmod(read_only.c_str(), 0444);
  const std::string odd =
      WriteBytes((dir_ / "new\nline \xff\xfe\xc3(.song").string(), LoopingTune());
  // The folder itself is read-only too: nothing is ever written beside a song.
  fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
  for (const std::string& name : {read_only, odd}) {
    const Outcome o = Run(name);
    EXPECT_TRUE(o.played) << name;
    ASSERT_TRUE(o.status.has_value()) << name;
    EXPECT_EQ(*o.status, 0) << name;
    EXPECT_EQ(o.out, "") << name;
    // The one line about the missing sound device, nothing about the file.
    EXPECT_EQ(CountLines(o.err), 1) << o.err;
    EXPECT_EQ(o.err.find("Can't open"), std::string::npos) << o.err;
  }
}

TEST_F(BadSongFiles, MissingNamesWithOddCharactersOrOfAnyLengthAreEchoedOnStdout) {
  const std::string odd = (dir_ / "gone\n\xff\xfe.song").string();
  const std::string long_name = (dir_ / std::string(5000 - dir_.string().size() - 1, 'n')).string();
  ASSERT_EQ(long_name.size(), 5000u);
  for (const std::string& name : {odd, long_name}) {
    const Outcome o = Run(name);
    EXPECT_FALSE(o.played);
    ASSERT_TRUE(o.status.has_value());
    EXPECT_EQ(*o.status, 0);
    EXPECT_EQ(o.out, name + "does not exist, mister.\n");
    EXPECT_EQ(o.err, "");
  }
}

// The existence check and the open are two steps: whatever takes the file's
// place in between is refused by the loader, before any write to the chip.
TEST(VanishingSongFile, WhatReplacesTheFileAfterTheExistenceCheckIsRefusedByTheLoader) {
  enum class Then { kDeleted, kDirectory, kFifo };
  for (Then then : {Then::kDeleted, Then::kDirectory, Then::kFifo}) {
    TempFile file(SongWithTrack0({0x20, 0x04, 0x80}));
    ASSERT_EQ(FileExists(file.path()), 1);
    unlink(file.path());
    if (then == Then::kDirectory) mkdir(file.path(), 0700);
    if (then == Then::kFifo) mkfifo(file.path(), 0600);
    Harness h;
    EXPECT_EQ(LoadSongFile(file.path(), h.song()), LoadResult::kCannotOpen);
    EXPECT_TRUE(h.writes().empty());
    EXPECT_EQ(h.ch(0).active, 0);
    if (then == Then::kDirectory) rmdir(file.path());
  }
}

// 100 MB: a looping tune, then a bank of ten million records that never
// ends (no terminator; every record redefines patch 1).
class HugeSong : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    path_ = new std::string(TempPath("huge.song"));
    Bytes tune = LoopingTune();
    // The tune's own bank (one record and the terminator) is replaced by
    // 100 MB of records of patch 1 at the same place.
    tune.erase(tune.end() - 11, tune.end());
    std::ofstream out(*path_, std::ios::binary);
    out.write(reinterpret_cast<const char*>(tune.data()),
              static_cast<std::streamsize>(tune.size()));
    const std::string block(1 << 20, '\x01');
    for (int i = 0; i < 100; ++i)
      out.write(block.data(), static_cast<std::streamsize>(block.size()));
  }
  static void TearDownTestSuite() {
    unlink(path_->c_str());
    delete path_;
  }
  static std::string* path_;
};
std::string* HugeSong::path_ = nullptr;

TEST_F(HugeSong, LoadsItsWholeBankAndItsTracks) {
  ASSERT_EQ(fs::file_size(*path_), LoopingTune().size() - 11 + (100u << 20));
  Harness h;
  ASSERT_EQ(h.StartFile(path_->c_str()), LoadResult::kLoaded);
  const InstrumentPatch ones = {1, 1, 1, 1, 1, 1, 1, 1, 1};
  EXPECT_EQ(h.song().bank[1], ones);
  EXPECT_EQ(h.song().tracks[0][0], 0xFF);  // the tune's first event
  h.Tick(40);
  EXPECT_EQ(h.ch(0).active, 1);
}

TEST_F(HugeSong, PlaysUntilAKeyFromAPipe) {
  Child c = Spawn(kPlayer, {*path_}, {kNoDevice}, Input::kPipe);
  ASSERT_EQ(write(c.pipe_write, "k", 1), 1);  // read once the song is loaded
  const std::optional<int> status = WaitExit(c.pid, seconds(60));
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(*status, 0);
  EXPECT_EQ(c.Out(), "");
  Cleanup(c);
}

TEST_F(HugeSong, AStopSignalDuringTheLoadEndsTheRunWithStatus0AndTheTerminalAsItWas) {
  Child c = Spawn(kPlayer, {*path_}, {kNoDevice}, Input::kTerminal);
  ASSERT_TRUE(WaitUntilOpen(c.pid, *path_, seconds(10))) << "the player never opened the song";
  kill(c.pid, SIGTERM);
  const std::optional<int> status = WaitExit(c.pid, seconds(60));
  ASSERT_TRUE(status.has_value());
  EXPECT_EQ(*status, 0);
  EXPECT_TRUE(SameMode(ModeOf(c.master), c.before));
  Cleanup(c);
}

}  // namespace
}  // namespace opl2::test
