// The player's threads meeting: the key or a signal ending a run whose ticks
// come every 0.3 ms, and register writes from two threads reaching the audio
// thread. Run under ThreadSanitizer by scripts/test-sanitizers.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <mutex>

#include "bus/emulated_port.h"
#include "bus/stamped_write_queue.h"
#include "opl/register_port.h"
#include "process_support.h"

namespace opl2::test {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::seconds;

const std::string kPlayer = std::string(OPL2_BIN_DIR) + "/opl2play";

// Timer B value 255 on every channel: a tick every 0.3 ms, a note and a
// slide step on every one of them.
Bytes FastestSong() {
  std::array<Bytes, kChannelCount> tracks;
  for (int c = 0; c < kChannelCount; ++c) {
    tracks[c] = {0xFC, 0xFF, 0xF6, 0x20, 0x01, 0xDA, 0x20, 0x45, 0x01, 0x0F, 0x01, 0x80};
  }
  return BuildSong(tracks);
}

TEST(ThreadedShutdown, KeysAndSignalsEndARunWhoseTicksComeEvery300Microseconds) {
  const fs::path dir = fs::temp_directory_path() / ("opl2-threads-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string song = WriteBytes((dir / "fast.song").string(), FastestSong());
  const std::vector<std::string> env = {"SDL_AUDIODRIVER=disk",
                                        "SDL_DISKAUDIOFILE=" + (dir / "out.raw").string()};
  for (int delay_ms : {0, 30, 300}) {
    for (bool by_key : {true, false}) {
      Child c = Spawn(kPlayer, {song}, env, Input::kTerminal);
      ASSERT_TRUE(WaitUntilRaw(c.master));
      std::this_thread::sleep_for(milliseconds(delay_ms));
      if (by_key) {
        Send(c.master, " ");
      } else {
        kill(c.pid, SIGTERM);
      }
      const std::optional<int> status = WaitExit(c.pid, seconds(10));
      ASSERT_TRUE(status.has_value()) << delay_ms << (by_key ? " key" : " signal");
      // A sanitizer report would end the player with its own status.
      EXPECT_EQ(*status, 0) << delay_ms << (by_key ? " key" : " signal") << "\n" << c.Err();
      EXPECT_TRUE(SameMode(ModeOf(c.master), c.before));
      EXPECT_EQ(c.Err(), "");
      Cleanup(c);
    }
  }
  fs::remove_all(dir);
}

// The timed writes of the port, handed to the audio thread through the queue.
class QueueSink : public TimedWriteSink {
 public:
  explicit QueueSink(StampedWriteQueue& queue) : queue_(queue) {}
  void OnTimedWrite(const TimedWrite& w) override {
    while (!queue_.PushWrite(w.clock, w.reg, w.value)) std::this_thread::yield();
  }

 private:
  StampedWriteQueue& queue_;
};

// The tick thread and the main thread write through one port, taking the
// bus lock as the player does; the audio thread takes the writes off the
// queue without a lock. Every write must arrive whole (its register with its
// value), once, in the order it was made, on a time line that never goes back.
TEST(ThreadedBus, WritesFromTwoThreadsReachTheAudioThreadWholeAndInOrder) {
  constexpr int kWritesPerThread = 60'000;
  BusTimeline timeline;
  // Small enough to wrap many times and to fill: the writers then wait.
  auto owned_queue = std::make_unique<StampedWriteQueue>(4096, 16);
  StampedWriteQueue& queue = *owned_queue;
  QueueSink sink(queue);
  EmulatedPort port(&timeline, &sink);
  std::mutex bus;

  auto writer = [&](int reg) {
    for (int i = 0; i < kWritesPerThread; ++i) {
      std::lock_guard<std::mutex> lock(bus);
      OplWrite(port, reg, i);
    }
  };

  std::atomic<bool> failed{false};
  int next[2] = {0, 0};
  std::thread audio([&] {
    uint64_t last_sample = 0;
    int received = 0;
    while (received < 2 * kWritesPerThread) {
      StampedWrite w;
      if (!queue.Front(&w)) {
        std::this_thread::yield();
        continue;
      }
      const int k = w.reg == 0xA0 ? 0 : w.reg == 0xB1 ? 1 : -1;
      // The n-th write on the bus is applied before sample n * 104 / 72 + 1.
      const uint64_t clock = static_cast<uint64_t>(received) * kMasterClocksPerWrite;
      if (k < 0 || w.value != (next[k] & 0xFF) || w.sample < last_sample ||
          w.sample != BusTimeline::SampleOfWrite(clock)) {
        failed = true;
      }
      if (k >= 0) ++next[k];
      last_sample = w.sample;
      queue.Pop();
      ++received;
    }
  });
  std::thread tick_thread(writer, 0xA0);
  writer(0xB1);
  tick_thread.join();
  audio.join();
  EXPECT_FALSE(failed);
  EXPECT_EQ(next[0], kWritesPerThread);
  EXPECT_EQ(next[1], kWritesPerThread);
  StampedWrite left;
  EXPECT_FALSE(queue.Front(&left));
  EXPECT_EQ(timeline.cursor(), 2u * kWritesPerThread * kMasterClocksPerWrite);
}

}  // namespace
}  // namespace opl2::test
