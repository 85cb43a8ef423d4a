// The block kernels of the vector paths and how each groups the lanes.
// Internal to the chip emulator.
#pragma once

#include "chip/chip_path.h"
#include "chip/lane_state.h"

namespace opl2::detail {

// A kernel runs its vector groups of lanes, and any lane on its own in plain
// registers. Where a group has at most `max_singles` channels to run, those
// run as single lanes instead: table lookups lane by lane then cost less
// than lookups for the whole group.
struct LaneKernel {
  void (*render)(const LaneBlock& block) = nullptr;  // nullptr: no kernel
  int groups = 0;
  int first[2] = {};  // first lane of each group
  int width[2] = {};  // lanes in each group
  int max_singles = 0;
};

// The kernel of a path (an empty one for the scalar path).
const LaneKernel& KernelFor(ChipPath path);

// Defined by the kernel files of each instruction set, where the build
// targets it.
void RenderLanesSse41(const LaneBlock& block);
void RenderLanesAvx2(const LaneBlock& block);
void RenderLanesSimd128(const LaneBlock& block);

}  // namespace opl2::detail
