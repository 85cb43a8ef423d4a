// Once a song is open, reading, seeking, muting and the channel views
// allocate nothing: every allocation of the process is counted. Under
// AddressSanitizer its own allocator stands in for malloc, so the count
// (and the test) is left to the normal build.
#include <malloc.h>

#include <atomic>
#include <new>

#include "lib_support.h"
#include "tools/run_tool.h"

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define OPL2_COUNT_ALLOCATIONS 1
extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);
extern "C" void* __libc_memalign(size_t, size_t);
extern "C" void __libc_free(void*);

#endif

namespace {
std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};
void Count() {
  if (g_counting.load(std::memory_order_relaxed)) g_allocations.fetch_add(1);
}
}  // namespace

#if OPL2_COUNT_ALLOCATIONS
// C allocations (the rate converter is C) and C++ ones, through one count.
extern "C" void* malloc(size_t n) {
  Count();
  return __libc_malloc(n);
}
extern "C" void* calloc(size_t n, size_t size) {
  Count();
  return __libc_calloc(n, size);
}
extern "C" void* realloc(void* p, size_t n) {
  Count();
  return __libc_realloc(p, n);
}
extern "C" int posix_memalign(void** p, size_t align, size_t n) {
  Count();
  *p = __libc_memalign(align, n);
  return *p != nullptr ? 0 : 12;
}
extern "C" void* memalign(size_t align, size_t n) {
  Count();
  return __libc_memalign(align, n);
}
extern "C" void* aligned_alloc(size_t align, size_t n) {
  Count();
  return __libc_memalign(align, n);
}
void* operator new(size_t n) {
  Count();
  void* p = __libc_malloc(n);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void operator delete(void* p) noexcept {
  __libc_free(p);
}
void operator delete(void* p, size_t) noexcept {
  __libc_free(p);
}
#endif

namespace opl2::test {
namespace {

long AllocationsWhile(const std::function<void()>& work) {
  g_allocations = 0;
  g_counting = true;
  work();
  g_counting = false;
  return g_allocations.load();
}

TEST(NoAllocation, ReadingSeekingMutingAndViewsAllocateNothing) {
#if !OPL2_COUNT_ALLOCATIONS
  GTEST_SKIP() << "the sanitizer's allocator replaces malloc";
#endif
  const std::string file = ReadWholeFile(std::string(OPL2_BIN_DIR) + "/../examples/demo.song");
  const Bytes bytes(file.begin(), file.end());
  for (int rate : {0, 48'000}) {
    SongPtr song = Open(bytes, Settings(rate, 1, 2, 60));
    const double duration = opl2_duration(song.get());
    std::vector<int16_t> s16(5000);
    std::vector<float> f32(5000);
    opl2_channel_view views[OPL2_CHANNELS];
    const long during = AllocationsWhile([&] {
      opl2_set_meters(song.get(), 1);
      for (int i = 0; i < 200; ++i) {
        opl2_read_s16(song.get(), s16.data(), s16.size());
        opl2_read_f32(song.get(), f32.data(), f32.size());
        opl2_channel_views(song.get(), views);
        opl2_mute_channel(song.get(), i % 9, i % 2);
      }
      for (double t : {3.0, 1.0, duration - 1, 0.5, duration}) opl2_seek(song.get(), t);
      while (opl2_read_s16(song.get(), s16.data(), s16.size()) > 0) {
      }
    });
    EXPECT_EQ(during, 0) << "rate " << rate;
  }
  // The count works: opening a song allocates.
  EXPECT_GT(AllocationsWhile([&] { Open(bytes, Settings(0)); }), 0);
}

}  // namespace
}  // namespace opl2::test
