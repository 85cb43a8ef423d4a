// The chip built for WebAssembly: renders every reference stream on each
// path the build has (SIMD128 and scalar with -msimd128) and compares the
// samples with the die-level renders, then the paths with each other on
// every register write pattern of the streams played at random chunk
// lengths. Run by scripts/check-chip-wasm under node; exits 1 on any
// difference.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "chip/chip_path.h"
#include "chip/opl2_chip.h"
#include "chip/reg_stream.h"

namespace {

const char* const kStreams[] = {"diag_add_am_car",    "diag_add_fb0",     "diag_add_fb5",
                                "diag_add_fb7",       "diag_add_vib_car", "diag_fm_fb0",
                                "diag_fm_fb5",        "diag_fm_fb7",      "diag_fm_modsilent",
                                "s01_default_scale",  "s02_fm_patches",   "s03_additive_patches",
                                "s04_envelopes",      "s05_ksl_volume",   "s06_blocks_fnums",
                                "s07_pitch_slides",   "s08_lfo",          "s09_all9_chords",
                                "s10_ties_retrigger", "s11_loud9_clip",   "s12_song"};

// The die's output pipeline puts its samples two behind ours.
constexpr size_t kReferenceLag = 2;

bool ReadFile(const std::string& path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream ss;
  ss << in.rdbuf();
  *out = ss.str();
  return true;
}

// Renders with Generate calls of random lengths between the writes.
std::vector<int16_t> RenderChunked(const opl2::RegStream& stream, opl2::ChipPath path,
                                   uint32_t seed) {
  std::mt19937 rng(seed);
  opl2::Chip chip;
  chip.SetPath(path);
  // As RenderRegStream: the first sample only fills the chip's latency, and
  // one more ends the stream.
  std::vector<int16_t> out;
  auto render = [&](uint64_t left) {
    while (left > 0) {
      const uint64_t n = std::min<uint64_t>(left, rng() % 700 + 1);
      const size_t at = out.size();
      out.resize(at + n);
      chip.Generate(out.data() + at, n);
      left -= n;
    }
  };
  for (const opl2::RegCommand& c : stream.commands) {
    if (c.kind == opl2::RegCommand::Kind::kWrite) {
      chip.Write(c.reg, c.value);
    } else {
      render(c.samples);
    }
  }
  render(1);
  out.erase(out.begin());
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: check_chip_wasm REFERENCE_DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  if (!opl2::ChipPathSupported(opl2::ChipPath::kSimd128)) {
    std::fprintf(stderr,
                 "check_chip_wasm: this build has no SIMD128 path (build with -msimd128)\n");
    return 1;
  }
  int failures = 0;
  double seconds[2] = {0, 0};
  uint64_t samples = 0;
  for (const char* name : kStreams) {
    std::string text, raw, error;
    opl2::RegStream stream;
    if (!ReadFile(dir + "/" + name + ".regs", &text) ||
        !ReadFile(dir + "/" + name + ".s16", &raw) ||
        !opl2::ParseRegStream(text, &stream, &error)) {
      std::fprintf(stderr, "check_chip_wasm: cannot read %s %s\n", name, error.c_str());
      return 2;
    }
    std::vector<int16_t> die(raw.size() / 2);
    for (size_t i = 0; i < die.size(); ++i) {
      die[i] = static_cast<int16_t>(static_cast<uint8_t>(raw[2 * i]) |
                                    static_cast<uint8_t>(raw[2 * i + 1]) << 8);
    }
    std::vector<int16_t> renders[2];
    const opl2::ChipPath paths[2] = {opl2::ChipPath::kScalar, opl2::ChipPath::kSimd128};
    for (int p = 0; p < 2; ++p) {
      opl2::Chip chip;
      chip.SetPath(paths[p]);
      renders[p].resize(stream.total_samples);
      const auto start = std::chrono::steady_clock::now();
      opl2::RenderRegStream(stream, chip, renders[p].data());
      seconds[p] += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      size_t equal = 0, compared = 0;
      for (size_t i = 0; i + kReferenceLag < die.size() && i < renders[p].size(); ++i) {
        ++compared;
        equal += renders[p][i] == die[i + kReferenceLag];
      }
      const bool exact = equal == compared && compared + kReferenceLag == die.size();
      std::printf("  %-7s %-22s %zu of %zu samples equal to the die render\n",
                  opl2::ChipPathName(paths[p]), name, equal, compared);
      failures += !exact;
    }
    samples += stream.total_samples;
    // Random chunk lengths change where the blocks start and end.
    const std::vector<int16_t> chunked =
        RenderChunked(stream, opl2::ChipPath::kSimd128, static_cast<uint32_t>(samples));
    if (chunked != renders[0]) {
      std::printf("  simd128 %-22s differs from scalar when rendered in random chunks\n", name);
      ++failures;
    }
  }
  const double audio = static_cast<double>(samples) / opl2::kChipSampleRate;
  std::printf("check_chip_wasm: scalar %.0fx real time, simd128 %.0fx real time\n",
              audio / seconds[0], audio / seconds[1]);
  if (failures != 0) {
    std::printf("check_chip_wasm: %d failures\n", failures);
    return 1;
  }
  std::printf("check_chip_wasm: every stream exact on both paths\n");
  return 0;
}
