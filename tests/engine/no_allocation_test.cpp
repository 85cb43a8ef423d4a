// Once a song is playing, ticks never allocate.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "busy_song.h"
#include "harness.h"

namespace {
std::atomic<long> g_allocations{0};
}

// The replacement pair below allocates with malloc and frees with free.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}

namespace opl2::test {
namespace {

class DiscardPort : public Port {
 public:
  void Out(uint16_t, uint8_t) override { ++outs; }
  uint8_t In(uint16_t, int) override { return 0; }
  long outs = 0;
};

class CountingTimer : public TimerB {
 public:
  void Arm(uint8_t) override { ++arms; }
  long arms = 0;
};

TEST(NoAllocation, TenThousandTicksOfABusySongAllocateNothing) {
  DiscardPort port;
  CountingTimer timer;
  auto engine = std::make_unique<Engine>();
  engine->port = &port;
  engine->timer = &timer;
  auto song = std::make_unique<Song>();
  ASSERT_EQ(LoadSong(BusySong(), *song), LoadResult::kLoaded);
  StartSong(*engine, song.get());

  const long before = g_allocations.load();
  const long outs_before = port.outs;
  for (int i = 0; i < 10'000; ++i) TimerTick(*engine);
  EXPECT_EQ(g_allocations.load() - before, 0);
  // The song was busy all along: every channel keeps writing.
  EXPECT_GT(port.outs - outs_before, 10'000L * 20);
  EXPECT_EQ(timer.arms, 10'001);
}

}  // namespace
}  // namespace opl2::test
