#include "chip/lane_kernels.h"

namespace opl2::detail {

const LaneKernel& KernelFor(ChipPath path) {
  // Channels 0-7 in groups of four lanes on the 128-bit sets, in one
  // 256-bit group on AVX2; channel 8 on its own in plain registers. AVX2
  // gathers cost about as much as three channels' scalar lookups.
  static const LaneKernel kNone{};
#if defined(__x86_64__) || defined(__i386__)
  static const LaneKernel kSse41{RenderLanesSse41, 2, {0, 4}, {4, 4}, 1};
  static const LaneKernel kAvx2{RenderLanesAvx2, 1, {0, 0}, {8, 0}, 3};
  if (path == ChipPath::kSse41) return kSse41;
  if (path == ChipPath::kAvx2) return kAvx2;
#endif
#if defined(__wasm_simd128__)
  static const LaneKernel kSimd128{RenderLanesSimd128, 2, {0, 4}, {4, 4}, 1};
  if (path == ChipPath::kSimd128) return kSimd128;
#endif
  (void)path;
  return kNone;
}

}  // namespace opl2::detail
