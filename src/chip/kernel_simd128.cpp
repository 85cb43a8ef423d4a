// The block kernel for WebAssembly SIMD128 (the browser build, compiled
// with -msimd128): channels 0-7 in two groups of
// four lanes, channel 8 in plain registers, table
// lookups one lane at a time.
#if defined(__wasm_simd128__)

#include <wasm_simd128.h>

#include <cstdint>
#include <cstring>

#include "chip/chip_counters.h"
#include "chip/lane_kernel.h"
#include "chip/lane_kernels.h"
#include "chip/lane_state.h"
#include "chip/opl2_tables.h"

namespace opl2::detail {
namespace {

struct Simd128x4 {
  using V = v128_t;
  static constexpr int W = 4;
  static V Load(const int32_t* p) { return wasm_v128_load(p); }
  static void Store(int32_t* p, V v) { wasm_v128_store(p, v); }
  static V Set1(int32_t x) { return wasm_i32x4_splat(x); }
  static V Add(V a, V b) { return wasm_i32x4_add(a, b); }
  static V And(V a, V b) { return wasm_v128_and(a, b); }
  static V AndNot(V a, V b) { return wasm_v128_andnot(b, a); }  // ~a & b
  static V Or(V a, V b) { return wasm_v128_or(a, b); }
  static V Xor(V a, V b) { return wasm_v128_xor(a, b); }
  static V Max(V a, V b) { return wasm_i32x4_max(a, b); }
  static V Min(V a, V b) { return wasm_i32x4_min(a, b); }
  static V Abs(V a) { return wasm_i32x4_abs(a); }
  static V CmpEq(V a, V b) { return wasm_i32x4_eq(a, b); }
  static V CmpGt(V a, V b) { return wasm_i32x4_gt(a, b); }
  static V MulLo(V a, V b) { return wasm_i32x4_mul(a, b); }
  template <int k>
  static V SrlI(V a) {
    return wasm_u32x4_shr(a, k);
  }
  template <int k>
  static V SraI(V a) {
    return wasm_i32x4_shr(a, k);
  }
  template <int k>
  static V SllI(V a) {
    return wasm_i32x4_shl(a, k);
  }
  static int MoveMask(V a) { return static_cast<int>(wasm_i32x4_bitmask(a)); }
  static void AddSums(const V* v, int32_t* out) {
    for (int k = 0; k < W; ++k) out[k] += HSum(v[k]);
  }
  static int32_t HSum(V a) {
    a = wasm_i32x4_add(a, wasm_i32x4_shuffle(a, a, 2, 3, 0, 1));
    a = wasm_i32x4_add(a, wasm_i32x4_shuffle(a, a, 1, 0, 3, 2));
    return wasm_i32x4_extract_lane(a, 0);
  }
  // No variable shifts: (sum * 2^FB) >> 9 is sum >> (9 - FB).
  static V Feedback(V sum, const ChannelLanes& c, int f) {
    return wasm_i32x4_shr(wasm_i32x4_mul(sum, Load(c.fb_mul + f)), 9);
  }
  static void StoreS16(int16_t* out, V v) {
    wasm_v128_store64_lane(out, wasm_i16x8_narrow_i32x4(v, v), 0);
  }
  static int32_t Word(const void* p) {
    int32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
  }
  static V GatherWave(const WaveEntry* base, V i) {
    return wasm_i32x4_make(
        Word(base + wasm_i32x4_extract_lane(i, 0)), Word(base + wasm_i32x4_extract_lane(i, 1)),
        Word(base + wasm_i32x4_extract_lane(i, 2)), Word(base + wasm_i32x4_extract_lane(i, 3)));
  }
  static V GatherMagnitude(const int16_t* base, V i) {
    return wasm_i32x4_make(base[wasm_i32x4_extract_lane(i, 0)], base[wasm_i32x4_extract_lane(i, 1)],
                           base[wasm_i32x4_extract_lane(i, 2)],
                           base[wasm_i32x4_extract_lane(i, 3)]);
  }
};

}  // namespace

void RenderLanesSimd128(const LaneBlock& block) {
  RenderLaneBlock<Group<Simd128x4, 0>, Group<Simd128x4, 4>>(block);
}

}  // namespace opl2::detail

#endif
