#include "chip/chip_path.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace opl2 {
namespace {

constexpr std::array<ChipPath, 4> kAll = {ChipPath::kScalar, ChipPath::kSse41, ChipPath::kAvx2,
                                          ChipPath::kSimd128};

bool CpuRuns(ChipPath path) {
  switch (path) {
    case ChipPath::kScalar:
      return true;
#if defined(__x86_64__) || defined(__i386__)
    case ChipPath::kSse41:
      return __builtin_cpu_supports("sse4.1");
    case ChipPath::kAvx2:
      return __builtin_cpu_supports("avx2");
#endif
#if defined(__wasm_simd128__)
    case ChipPath::kSimd128:
      return true;
#endif
    default:
      return false;
  }
}

struct Supported {
  std::array<ChipPath, 4> paths{};
  size_t count = 0;
  Supported() {
    for (ChipPath p : kAll) {
      if (CpuRuns(p)) paths[count++] = p;
    }
  }
};

const Supported& GetSupported() {
  static const Supported supported;
  return supported;
}

ChipPath Fastest() {
  const Supported& s = GetSupported();
  return s.paths[s.count - 1];
}

ChipPath ChooseDefault() {
  const char* forced = std::getenv("OPL2_CHIP_PATH");
  if (forced == nullptr || *forced == '\0') return Fastest();
  ChipPath path;
  if (!ParseChipPath(forced, &path)) {
    std::fprintf(stderr,
                 "opl2: OPL2_CHIP_PATH=%s is not a chip path (scalar, sse41, avx2, simd128); "
                 "using %s\n",
                 forced, ChipPathName(Fastest()));
    return Fastest();
  }
  if (!ChipPathSupported(path)) {
    std::fprintf(stderr,
                 "opl2: OPL2_CHIP_PATH=%s is not supported by this build or CPU; using %s\n",
                 forced, ChipPathName(Fastest()));
    return Fastest();
  }
  return path;
}

}  // namespace

const char* ChipPathName(ChipPath path) {
  switch (path) {
    case ChipPath::kScalar:
      return "scalar";
    case ChipPath::kSse41:
      return "sse41";
    case ChipPath::kAvx2:
      return "avx2";
    case ChipPath::kSimd128:
      return "simd128";
  }
  return "?";
}

bool ParseChipPath(const char* name, ChipPath* path) {
  for (ChipPath p : kAll) {
    if (std::strcmp(name, ChipPathName(p)) == 0) {
      *path = p;
      return true;
    }
  }
  return false;
}

bool ChipPathSupported(ChipPath path) {
  for (ChipPath p : SupportedChipPaths()) {
    if (p == path) return true;
  }
  return false;
}

std::span<const ChipPath> SupportedChipPaths() {
  const Supported& s = GetSupported();
  return {s.paths.data(), s.count};
}

ChipPath DefaultChipPath() {
  static const ChipPath path = ChooseDefault();
  return path;
}

}  // namespace opl2
