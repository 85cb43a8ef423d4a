// Renders every reference register stream and compares it with the die-level
// render, sample by sample, at the capture's fixed output lag.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "chip/chip_path.h"
#include "chip/chip_test_util.h"

namespace opl2 {
namespace {

using testing::Compare;
using testing::LoadStream;
using testing::Match;
using testing::ReadS16;
using testing::ReferenceDir;

// The die's output pipeline puts its samples two behind ours.
constexpr size_t kReferenceLag = 2;

class ReferenceStream : public ::testing::TestWithParam<const char*> {};

TEST_P(ReferenceStream, MatchesEverySample) {
  const std::string base = ReferenceDir() + "/" + GetParam();
  const RegStream stream = LoadStream(base + ".regs");
  const std::vector<int16_t> reference = ReadS16(base + ".s16");
  ASSERT_EQ(reference.size(), stream.total_samples) << "render length differs from the stream";
  const std::vector<int16_t> ours = RenderRegStream(stream);
  ASSERT_EQ(ours.size(), reference.size());
  const Match m = Compare(ours, reference, kReferenceLag);
  std::printf("  %-7s %-24s exact %8.4f%%  SNR %s dB  (%zu samples)\n",
              ChipPathName(DefaultChipPath()), GetParam(), m.ExactPercent(),
              m.equal == m.compared ? "inf" : std::to_string(m.snr_db).c_str(), m.compared);
  EXPECT_EQ(m.equal, m.compared) << "first mismatch at sample " << m.first_mismatch << ": ours "
                                 << ours[m.first_mismatch] << ", reference "
                                 << reference[m.first_mismatch + kReferenceLag];
}

INSTANTIATE_TEST_SUITE_P(
    Die, ReferenceStream,
    ::testing::Values("diag_add_am_car", "diag_add_fb0", "diag_add_fb5", "diag_add_fb7",
                      "diag_add_vib_car", "diag_fm_fb0", "diag_fm_fb5", "diag_fm_fb7",
                      "diag_fm_modsilent", "s01_default_scale", "s02_fm_patches",
                      "s03_additive_patches", "s04_envelopes", "s05_ksl_volume", "s06_blocks_fnums",
                      "s07_pitch_slides", "s08_lfo", "s09_all9_chords", "s10_ties_retrigger",
                      "s11_loud9_clip", "s12_song"),
    [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

}  // namespace
}  // namespace opl2
