// The memory the assembler needs, against the size of the song it builds:
// every allocation of the run is counted, and the peak of the bytes held at
// once (above what was held before) is reported per byte of song. A source
// that says little per byte (instruments behind long comments, 20 source
// bytes for each song byte, as in a 2 GB source of a 100 MB song) must cost
// memory in proportion to the song, not the source.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "songtext/assembler.h"

namespace {

std::atomic<size_t> g_live{0};
std::atomic<size_t> g_peak{0};

void Count(size_t n) {
  const size_t now = g_live.fetch_add(n) + n;
  size_t peak = g_peak.load();
  while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
  }
}

}  // namespace

// Replaced for the whole program: each block counts by its usable size.
// (GCC cannot see that the blocks freed below come from malloc.)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t n) {
  void* p = std::malloc(n == 0 ? 1 : n);
  if (p == nullptr) throw std::bad_alloc();
  Count(malloc_usable_size(p));
  return p;
}
void operator delete(void* p) noexcept {
  if (p == nullptr) return;
  g_live.fetch_sub(malloc_usable_size(p));
  std::free(p);
}
void operator delete(void* p, size_t) noexcept {
  operator delete(p);
}

namespace {

std::string Source(int instruments) {
  std::string line = "instrument 1 [01 01 10 00 F0 F0 77 77 00] ;";
  line.resize(199, 'x');
  line += '\n';
  std::string s =
      "channel 0 { inst 1 C4 4 end } channel 1 { end } channel 2 { end } channel 3 { end }\n"
      "channel 4 { end } channel 5 { end } channel 6 { end } channel 7 { end } "
      "channel 8 { end }\n";
  s.reserve(s.size() + line.size() * static_cast<size_t>(instruments));
  for (int i = 0; i < instruments; ++i) s += line;
  return s;
}

void BM_AssembleMemoryPerSongByte(benchmark::State& state) {
  const std::string source = Source(static_cast<int>(state.range(0)));
  double per_song_byte = 0;
  for (auto _ : state) {
    const size_t before = g_live.load();
    g_peak.store(before);
    const opl2::songtext::AssembleResult r = opl2::songtext::Assemble(source);
    benchmark::DoNotOptimize(r.bytes.data());
    per_song_byte = static_cast<double>(g_peak.load() - before) / r.bytes.size();
  }
  state.counters["source_MB"] = static_cast<double>(source.size()) / 1e6;
  state.counters["heap_per_song_byte"] = per_song_byte;
  state.SetBytesProcessed(static_cast<int64_t>(source.size()) * state.iterations());
}
BENCHMARK(BM_AssembleMemoryPerSongByte)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
