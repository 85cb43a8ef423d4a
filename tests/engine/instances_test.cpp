// Every run owns its state: engines that play side by side, in one thread or
// in several, make exactly the writes each makes alone.
#include <gtest/gtest.h>

#include <thread>

#include "busy_song.h"

namespace opl2::test {
namespace {

constexpr int kTicks = 3000;

// Tempo changes, detune and a slide: nothing like BusySong's rows.
Bytes OtherSong() {
  return SongWithTrack0({0xF6, 0xFC, 0xC8, 0xFA, 0xFD, 0xFF, 0x40, 0x05, 0xDA, 0x50, 0x30, 0x06,
                         0xFC, 0x64, 0x0F, 0x02, 0x80});
}

std::vector<Write> PlayAlone(const Bytes& song) {
  Harness h;
  EXPECT_EQ(h.Start(song), LoadResult::kLoaded);
  h.Tick(kTicks);
  return h.writes();
}

TEST(Instances, EnginesSideBySideInOneThreadPlayAsEachAlone) {
  const std::vector<Write> busy = PlayAlone(BusySong());
  const std::vector<Write> other = PlayAlone(OtherSong());
  ASSERT_NE(busy, other);
  Harness a;
  Harness b;
  ASSERT_EQ(a.Start(BusySong()), LoadResult::kLoaded);
  ASSERT_EQ(b.Start(OtherSong()), LoadResult::kLoaded);
  for (int t = 0; t < kTicks; ++t) {
    a.Tick();
    b.Tick();
  }
  EXPECT_EQ(a.writes(), busy);
  EXPECT_EQ(b.writes(), other);
  // A second song loaded into a fresh engine after the first plays the same.
  EXPECT_EQ(PlayAlone(OtherSong()), other);
}

TEST(Instances, EnginesInSeveralThreadsPlayAsEachAlone) {
  const std::vector<Write> busy = PlayAlone(BusySong());
  const std::vector<Write> other = PlayAlone(OtherSong());
  std::vector<std::vector<Write>> results(4);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < results.size(); ++i) {
    threads.emplace_back(
        [&results, i] { results[i] = PlayAlone(i % 2 ? OtherSong() : BusySong()); });
  }
  for (std::thread& t : threads) t.join();
  for (size_t i = 0; i < results.size(); ++i) EXPECT_EQ(results[i], i % 2 ? other : busy) << i;
}

}  // namespace
}  // namespace opl2::test
