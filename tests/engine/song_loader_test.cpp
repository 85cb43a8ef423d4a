// Loading songs: the container, the bank, the tracks, and damaged files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "harness.h"

namespace opl2::test {
namespace {

void PutWord(Bytes& b, int offset, int value) {
  b[offset] = static_cast<uint8_t>(value & 0xFF);
  b[offset + 1] = static_cast<uint8_t>((value >> 8) & 0xFF);
}

const InstrumentPatch kPatchA = {1, 2, 3, 4, 5, 6, 7, 8, 9};
const InstrumentPatch kPatchB = {0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19};

TEST(SongLoader, ExampleSongLoadsBankTracksAndChannelState) {
  Harness h;
  const Bytes song = SongWithTrack0({0xFF, 0x01, 0x40, 0x10, 0x80},
                                    {{1, {0x01, 0x01, 0x10, 0x00, 0xF0, 0xF0, 0x77, 0x77, 0}}});
  ASSERT_EQ(song.size(), 51u);
  ASSERT_EQ(h.Start(song), LoadResult::kLoaded);
  const Engine& e = h.engine();
  EXPECT_EQ(h.song().bank[0], DEFAULT_PATCH);
  EXPECT_EQ(h.song().bank[1], DEFAULT_PATCH);
  EXPECT_EQ(h.song().bank[2], InstrumentPatch{});
  EXPECT_EQ(h.song().tracks[0][0], 0xFF);
  EXPECT_EQ(h.song().tracks[0][4], 0x80);
  EXPECT_EQ(h.song().tracks[0][5], 0x00);
  EXPECT_EQ(h.song().tracks[8][0], 0x80);
  for (const ChannelState& ch : e.channels) {
    EXPECT_EQ(ch.active, 1);
    EXPECT_EQ(ch.step_ticks, 16);
    EXPECT_EQ(ch.retrigger, 1);
    EXPECT_EQ(ch.mod_level, 0x10);
  }
  // Reset, then the built-in patch into all 9 channels, then the first arming.
  const RegWrites start = h.WritesAt(0);
  ASSERT_EQ(start.size(), 246u + 81u);
  EXPECT_EQ(start[246], std::make_pair(0x20, 0x01));
  EXPECT_EQ(start.back(), std::make_pair(0xC8, 0x00));
  EXPECT_EQ(h.arms(), (std::vector<std::pair<long, int>>{{0, 180}}));
  EXPECT_EQ(e.seq.playing, 1);
}

TEST(SongLoader, FilesThatAreNotSongsChangeNothing) {
  for (const Bytes& bytes : {Bytes{}, Bytes{3}, Bytes{0xFF, 0x1A}}) {
    Harness h;
    EXPECT_EQ(h.Start(bytes), LoadResult::kNotASong);
    EXPECT_EQ(h.WritesAt(0).size(), 246u);  // the reset alone
    for (const ChannelState& ch : h.engine().channels) EXPECT_EQ(ch.active, 0);
    h.Tick(100);
    EXPECT_EQ(h.writes().size(), 246u);
    EXPECT_EQ(h.arms().size(), 101u);
  }
}

TEST(SongLoader, FilesThatCannotBeReadAreRefused) {
  Harness h;
  EXPECT_EQ(h.StartFile("/nonexistent/song"), LoadResult::kCannotOpen);
  EXPECT_EQ(h.StartFile("/tmp"), LoadResult::kCannotOpen);
  const char* fifo = "/tmp/opl2-test-fifo";
  unlink(fifo);
  ASSERT_EQ(mkfifo(fifo, 0600), 0);
  EXPECT_EQ(h.StartFile(fifo), LoadResult::kCannotOpen);  // and does not block
  unlink(fifo);
  EXPECT_EQ(h.arms().size(), 0u);
}

TEST(SongLoader, ReadOnlySongsLoad) {
  Harness h;
  TempFile f(SongWithTrack0({0x40, 0x10, 0x80}));
  ASSERT_EQ(chmod(f.path(), 0444), 0);
  EXPECT_EQ(h.StartFile(f.path()), LoadResult::kLoaded);
  EXPECT_EQ(h.song().tracks[0][0], 0x40);
}

TEST(SongLoader, BankRecordsTerminatorAndRedefinitions) {
  Harness h;
  // First record redefines patch 0; patch 5 twice (the later wins); a
  // record after the terminator is not read.
  Bytes song = SongWithTrack0({0x80}, {{0, kPatchA}, {5, kPatchA}, {5, kPatchB}});
  song.push_back(6);
  song.insert(song.end(), kPatchB.begin(), kPatchB.end());
  ASSERT_EQ(h.Start(song), LoadResult::kLoaded);
  EXPECT_EQ(h.song().bank[0], kPatchA);
  EXPECT_EQ(h.song().bank[5], kPatchB);
  EXPECT_EQ(h.song().bank[6], InstrumentPatch{});
  // The chip still got the built-in patch 0 on every channel.
  EXPECT_EQ(h.WritesAt(0)[246 + 2], std::make_pair(0x40, 0x10));
}

TEST(SongLoader, BankWithoutTerminatorEndsAtTheEndOfTheFile) {
  Harness h;
  Bytes song = SongWithTrack0({0x80}, {{3, kPatchA}});
  song.pop_back();                           // drop the terminator
  song.insert(song.end(), {7, 0xAA, 0xBB});  // a record cut short
  ASSERT_EQ(h.Start(song), LoadResult::kLoaded);
  EXPECT_EQ(h.song().bank[3], kPatchA);
  const InstrumentPatch cut = {0xAA, 0xBB, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(h.song().bank[7], cut);
  EXPECT_EQ(h.song().bank[255], InstrumentPatch{});
}

TEST(SongLoader, ShortestBankIsElevenBytes) {
  Harness h;
  Bytes song = SongWithTrack0({0x80});
  song.pop_back();
  song.push_back(0);
  song.insert(song.end(), kPatchB.begin(), kPatchB.end());
  song.push_back(0);
  ASSERT_EQ(h.Start(song), LoadResult::kLoaded);
  EXPECT_EQ(h.song().bank[0], kPatchB);
}

TEST(SongLoader, TrackRangesAreTakenAsTheBoundsSay) {
  Harness h;
  Bytes song = SongWithTrack0({0x80});
  // Track 3 with decreasing bounds stays empty; track 4 starts at its own bound.
  PutWord(song, 1 + 2 * 3, 1000);
  PutWord(song, 1 + 2 * 4, 999);
  PutWord(song, 1 + 2 * 5, 1001);
  // Track 8 runs 10 bytes past the end of the file.
  PutWord(song, 1 + 2 * 8, static_cast<int>(song.size()) - 3);
  PutWord(song, 1 + 2 * 9, static_cast<int>(song.size()) + 9);
  PutWord(song, kBankBoundOffset, 200);  // the bank lies past the end: empty
  ASSERT_EQ(h.Start(song), LoadResult::kLoaded);
  for (uint8_t b : h.song().tracks[3]) ASSERT_EQ(b, 0);
  EXPECT_EQ(h.song().tracks[4][0], 0xFF);  // offset 1000 lies past the end of the file
  EXPECT_EQ(h.song().tracks[4][1], 0xFF);
  EXPECT_EQ(h.song().tracks[4][2], 0x00);
  EXPECT_EQ(h.song().tracks[8][0], song[song.size() - 2]);
  EXPECT_EQ(h.song().tracks[8][1], song[song.size() - 1]);
  for (int i = 2; i < 12; ++i) EXPECT_EQ(h.song().tracks[8][i], 0xFF) << i;
  EXPECT_EQ(h.song().tracks[8][12], 0x00);
}

TEST(SongLoader, TracksMayCoverTheHeader) {
  Harness h;
  Bytes song = SongWithTrack0({0x80});
  PutWord(song, 1, 0);
  PutWord(song, 3, 4);  // track 0 = header bytes 1..4
  ASSERT_EQ(h.Start(song), LoadResult::kLoaded);
  EXPECT_EQ(h.song().tracks[0][0], 0x00);
  EXPECT_EQ(h.song().tracks[0][1], 0x00);
  EXPECT_EQ(h.song().tracks[0][2], 0x04);
  EXPECT_EQ(h.song().tracks[0][3], 0x00);
}

TEST(SongLoader, FilesShorterThanTheHeaderPlayWhatTheyHave) {
  // Only the format id and the low byte of track_bound[0]: every other
  // header byte reads as -1, so the bounds are 0x05 - 256 and then -1.
  Harness h;
  ASSERT_EQ(h.Start(Bytes{2, 5}), LoadResult::kLoaded);
  // bank_bound -1: the bank reader starts at offset 0 (the format id 2 is
  // read as a patch number), meets the end of the file and stops.
  const InstrumentPatch two = {5, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(h.song().bank[2], two);
  // Track 0 runs from offset -250 to -1: 250 bytes that read as 0xFF.
  for (int i = 0; i < 250; ++i) ASSERT_EQ(h.song().tracks[0][i], 0xFF) << i;
  EXPECT_EQ(h.song().tracks[0][250], 0);
  for (int c = 1; c < 9; ++c) EXPECT_EQ(h.song().tracks[c][0], 0) << c;
  // It plays without reading outside any table.
  h.Tick(2000);
  EXPECT_EQ(h.arms().size(), 2001u);
}

TEST(SongLoader, EveryPrefixOfASongLoadsSafely) {
  const Bytes song = SongWithTrack0({0xFF, 0x01, 0x40, 0x10, 0x80}, {{1, kPatchA}});
  for (size_t n = 0; n <= song.size(); ++n) {
    Harness h;
    const LoadResult r = h.Start(Bytes(song.begin(), song.begin() + n));
    EXPECT_EQ(r, n == 0 ? LoadResult::kNotASong : LoadResult::kLoaded) << n;
    h.Tick(300);
    EXPECT_EQ(h.arms().size(), 301u);
  }
}

}  // namespace
}  // namespace opl2::test
