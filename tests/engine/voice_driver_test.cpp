// The register port, patches, pitch with detune, keys and volume.
#include <gtest/gtest.h>

#include "harness.h"
#include "opl/register_port.h"
#include "opl/voice.h"

namespace opl2::test {
namespace {

// Records the raw port traffic: ('o', port, value) and ('i', port, count).
class TrafficPort : public Port {
 public:
  struct Access {
    char kind;
    int port;
    int value;
    bool operator==(const Access&) const = default;
  };
  void Out(uint16_t port, uint8_t value) override { log.push_back({'o', port, value}); }
  uint8_t In(uint16_t port, int count) override {
    log.push_back({'i', port, count});
    return 0;
  }
  std::vector<Access> log;
};

TEST(RegisterPort, WriteSendsLowBytesWithItsStatusReads) {
  TrafficPort port;
  OplWrite(port, 0x1A0, 0x123);
  OplWrite(port, 0x20, -1);
  const std::vector<TrafficPort::Access> expected = {
      {'o', 0x388, 0xA0}, {'i', 0x388, 6}, {'o', 0x389, 0x23}, {'i', 0x388, 36},
      {'o', 0x388, 0x20}, {'i', 0x388, 6}, {'o', 0x389, 0xFF}, {'i', 0x388, 36}};
  EXPECT_EQ(port.log, expected);
}

TEST(RegisterPort, ResetClearsRegisters00ToF5InOrder) {
  std::vector<std::pair<int, int>> writes;
  struct Sink : RegisterWriteSink {
    std::vector<std::pair<int, int>>* out;
    void OnRegisterWrite(uint8_t r, uint8_t v) override { out->emplace_back(r, v); }
  } sink;
  sink.out = &writes;
  RecordingPort port(&sink);
  OplReset(port);
  ASSERT_EQ(writes.size(), 246u);
  for (int r = 0; r < 246; ++r) EXPECT_EQ(writes[r], std::make_pair(r, 0));
  EXPECT_EQ(port.address_writes(), 246u);
  EXPECT_EQ(port.status_reads(), 246u * 42u);
  EXPECT_EQ(port.stray_accesses(), 0u);
}

TEST(RegisterPort, OperatorSlotsOfEveryChannel) {
  const int mods[] = {0, 1, 2, 8, 9, 10, 16, 17, 18};
  for (int c = 0; c < 9; ++c) {
    EXPECT_EQ(ModulatorSlot(c), mods[c]);
    EXPECT_EQ(CarrierSlot(c), mods[c] + 3);
  }
}

class VoiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallTuning();
    h.ClearWrites();
  }
  RegWrites Writes() const { return h.WritesAt(0); }
  Harness h;
};

TEST_F(VoiceTest, PatchGoesToBothOperatorsInRegisterOrder) {
  h.song().bank[7] = {0x21, 0x31, 0xD5, 0x4A, 0x12, 0x34, 0x56, 0x78, 0x0F};
  LoadPatch(h.engine(), 4, 7);
  const RegWrites expected = {{0x29, 0x21}, {0x2C, 0x31}, {0x49, 0xD5}, {0x4C, 0x4A}, {0x69, 0x12},
                              {0x6C, 0x34}, {0x89, 0x56}, {0x8C, 0x78}, {0xC4, 0x0F}};
  EXPECT_EQ(Writes(), expected);
  EXPECT_EQ(h.ch(4).mod_ksl, 0xC0);
  EXPECT_EQ(h.ch(4).mod_level, 0x15);
  EXPECT_EQ(h.ch(4).car_ksl, 0x40);
  EXPECT_EQ(h.ch(4).car_level, 0x0A);
  EXPECT_EQ(h.ch(4).connection, 1);
}

TEST_F(VoiceTest, UndefinedPatchLoadsZeros) {
  LoadPatch(h.engine(), 0, 200);
  for (const auto& [reg, value] : Writes()) EXPECT_EQ(value, 0) << reg;
  EXPECT_EQ(Writes().size(), 9u);
  EXPECT_EQ(h.ch(0).connection, 0);
}

TEST_F(VoiceTest, NotePitchAndKeys) {
  ChannelState& ch = h.ch(2);
  EXPECT_TRUE(SetNotePitch(0x40, h.engine(), 2));
  EXPECT_EQ(ch.fnum_low, 0x59);
  EXPECT_EQ(ch.block_fnum_high, 0x11);
  ch.key_flag = 1;
  WritePitch(h.engine(), 2);
  KeyOff(h.engine(), 2);
  KeyOn(h.engine(), 2);
  const RegWrites expected = {{0xA2, 0x59}, {0xB2, 0x31}, {0xB2, 0x11}, {0xB2, 0x31}};
  EXPECT_EQ(Writes(), expected);

  EXPECT_TRUE(SetNotePitch(0x00, h.engine(), 2));
  EXPECT_EQ(ch.block_fnum_high, 0x01);
  EXPECT_EQ(ch.fnum_low, 0x59);
}

TEST_F(VoiceTest, CodesThatAreNotNotesKeepThePitch) {
  ChannelState& ch = h.ch(0);
  ASSERT_TRUE(SetNotePitch(0x49, h.engine(), 0));
  for (int code : {0x4C, 0x4D, 0x4E, 0x4F, 0x80, 0x95, 0xF0, 0xFB}) {
    EXPECT_FALSE(SetNotePitch(code, h.engine(), 0)) << code;
    EXPECT_EQ(ch.fnum_low, 0x41);
    EXPECT_EQ(ch.block_fnum_high, 0x12);
  }
}

TEST_F(VoiceTest, DetuneCarriesAndBorrowsThroughThePitchWord) {
  struct Case {
    int note;
    int16_t detune;
    int high;
    int low;
  } cases[] = {
      {0x46, 200, 0x12, 0xAD},  // carry through F-number bit 8 into bit 9
      {0x47, -3, 0x11, 0xFF},   // borrow from the F-number's high bits
      {0x40, 16, 0x11, 0x69},
      {0x40, -16, 0x11, 0x49},
  };
  for (const Case& c : cases) {
    ChannelState& ch = h.ch(1);
    ch.detune = c.detune;
    ch.key_flag = 0;
    ASSERT_TRUE(SetNotePitch(c.note, h.engine(), 1));
    h.ClearWrites();
    WritePitch(h.engine(), 1);
    EXPECT_EQ(ch.block_fnum_high, c.high) << c.note;
    EXPECT_EQ(ch.fnum_low, c.low) << c.note;
    const RegWrites expected = {{0xA1, c.low}, {0xB1, c.high}};
    EXPECT_EQ(Writes(), expected);
  }
  // 0x13FF + 1 = block 5, F-number 0.
  ChannelState& ch = h.ch(1);
  ch.block_fnum_high = 0x13;
  ch.fnum_low = 0xFF;
  ch.detune = 1;
  ApplyDetune(h.engine(), 1);
  EXPECT_EQ(ch.block_fnum_high, 0x14);
  EXPECT_EQ(ch.fnum_low, 0x00);
}

void LoadLevels(Harness& h, int channel, int mod_byte, int car_byte, int connection) {
  h.song().bank[9] = {0, 0, static_cast<uint8_t>(mod_byte),  static_cast<uint8_t>(car_byte), 0, 0,
                      0, 0, static_cast<uint8_t>(connection)};
  LoadPatch(h.engine(), channel, 9);
  h.ClearWrites();
}

TEST_F(VoiceTest, VolumeOfAnFmPatchSetsTheCarrierOnly) {
  LoadLevels(h, 0, 0x10, 0x40 | 0x22, 0);
  SetVolume(h.engine(), 0, 100);
  EXPECT_EQ(Writes(), (RegWrites{{0x43, 0x4D}}));
  h.ClearWrites();
  SetVolume(h.engine(), 0, 127);
  SetVolume(h.engine(), 0, 126);
  SetVolume(h.engine(), 0, 1);
  SetVolume(h.engine(), 0, 0);
  EXPECT_EQ(Writes(), (RegWrites{{0x43, 0x40}, {0x43, 0x40}, {0x43, 0x7F}, {0x43, 0x7F}}));
}

TEST_F(VoiceTest, VolumeOfAnAdditivePatchKeepsTheOperatorsApart) {
  LoadLevels(h, 3, 10, 30, 1);
  SetVolume(h.engine(), 3, 100);  // attenuation 13: carrier 13 + 20
  EXPECT_EQ(Writes(), (RegWrites{{0x48, 13}, {0x4B, 33}}));

  LoadLevels(h, 3, 40, 0, 1);
  SetVolume(h.engine(), 3, 20);  // attenuation 53: modulator 53 + 40 held at 63
  EXPECT_EQ(Writes(), (RegWrites{{0x48, 63}, {0x4B, 53}}));

  LoadLevels(h, 3, 0x80 | 25, 0xC0 | 25, 1);
  SetVolume(h.engine(), 3, 64);
  EXPECT_EQ(Writes(), (RegWrites{{0x48, 0x80 | 31}, {0x4B, 0xC0 | 31}}));
}

TEST_F(VoiceTest, VolumesAbove127NeverSpillIntoTheKeyScaleBits) {
  LoadLevels(h, 0, 0x40 | 5, 0x80 | 20, 1);
  struct Case {
    int volume;
    int car_level;
  } cases[] = {{128, 14}, {129, 14}, {140, 8}, {200, 0}, {255, 0}};
  for (const Case& c : cases) {
    h.ClearWrites();
    SetVolume(h.engine(), 0, c.volume);
    // Each level is held within 0..63: the louder modulator at 0, the softer
    // carrier at its difference from there, never below 0.
    EXPECT_EQ(Writes(), (RegWrites{{0x40, 0x40}, {0x43, 0x80 | c.car_level}})) << c.volume;
  }
  LoadLevels(h, 0, 0, 0xC0, 0);
  SetVolume(h.engine(), 0, 255);
  EXPECT_EQ(Writes(), (RegWrites{{0x43, 0xC0}}));
}

TEST_F(VoiceTest, LoadingAPatchAfterAVolumeRestoresItsLevels) {
  LoadLevels(h, 0, 0x15, 0x2A, 1);
  SetVolume(h.engine(), 0, 120);
  h.ClearWrites();
  LoadPatch(h.engine(), 0, 9);
  const RegWrites w = Writes();
  EXPECT_EQ(w[2], std::make_pair(0x40, 0x15));
  EXPECT_EQ(w[3], std::make_pair(0x43, 0x2A));
}

}  // namespace
}  // namespace opl2::test
