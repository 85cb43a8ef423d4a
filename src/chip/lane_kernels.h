// The block kernels of the vector paths and how each groups the lanes.
// Internal to the chip emulator.
#pragma once

#include "chip/chip_path.h"
#include "chip/lane_state.h"

namespace opl2::detail {

struct LaneKernel {
  void (*render)(const LaneBlock& block) = nullptr;  // nullptr: no kernel
  int groups = 0;
  int first[3] = {};  // first lane of each group
  int width[3] = {};  // lanes in each group
};

// The kernel of a path (an empty one for the scalar path).
const LaneKernel& KernelFor(ChipPath path);

// Defined by the kernel files of each instruction set, where the build
// targets it.
void RenderLanesSse41(const LaneBlock& block);
void RenderLanesAvx2(const LaneBlock& block);
void RenderLanesSimd128(const LaneBlock& block);

}  // namespace opl2::detail
