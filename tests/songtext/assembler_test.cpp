// What the assembler writes for each kind of source statement, checked
// against bytes worked out from the song format by hand.
#include "songtext/assembler.h"

#include <gtest/gtest.h>

#include <string>

#include "song/song_format.h"
#include "songtext/file_io.h"
#include "songtext/notes.h"

namespace opl2::test {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes AssembleOk(const std::string& text) {
  const songtext::AssembleResult r = songtext::Assemble(text);
  std::string messages;
  for (const auto& d : r.diagnostics.list())
    messages += songtext::FormatDiagnostic("src", d) + "\n";
  EXPECT_TRUE(r.ok()) << messages;
  return r.bytes;
}

// The track bytes of channel 0 in a compact song whose other channels end.
Bytes Channel0(const std::string& events) {
  const Bytes song = AssembleOk("channel 0 {\n" + events +
                                "\n}\nchannel 1 { end } channel 2 { end } channel 3 { end }\n"
                                "channel 4 { end } channel 5 { end } channel 6 { end }\n"
                                "channel 7 { end } channel 8 { end }\n");
  if (song.size() < 27) return {};
  const int end = song[3] | (song[4] << 8);
  return Bytes(song.begin() + 27, song.begin() + end + 1);
}

TEST(NoteNames, CodesFollowOctaveAndSemitone) {
  EXPECT_EQ(songtext::ParseNoteName("C4"), 0x40);
  EXPECT_EQ(songtext::ParseNoteName("F#3"), 0x36);
  EXPECT_EQ(songtext::ParseNoteName("Fs3"), 0x36);
  EXPECT_EQ(songtext::ParseNoteName("Bb5"), 0x5A);
  EXPECT_EQ(songtext::ParseNoteName("b7"), 0x7B);
  EXPECT_EQ(songtext::ParseNoteName("E#2"), 0x25);  // F, same octave
  EXPECT_EQ(songtext::ParseNoteName("C0"), 0x00);
  for (const char* bad : {"C8", "H4", "Cb4", "B#4", "C", "C44", "rest"}) {
    EXPECT_FALSE(songtext::ParseNoteName(bad).has_value()) << bad;
  }
  for (int code = 0; code < 256; ++code) {
    const std::string name = songtext::NoteName(code);
    if (name.empty()) {
      EXPECT_FALSE(code < 0x80 && (code & 15) < 12) << code;
    } else {
      EXPECT_EQ(songtext::ParseNoteName(name), code) << name;
    }
  }
}

TEST(Assembler, EveryEventEncodesAsTheFormatSays) {
  EXPECT_EQ(Channel0("inst 3 vol 64 E3 8 end"), (Bytes{0xFF, 0x03, 0xFD, 0x40, 0x34, 0x08, 0x80}));
  EXPECT_EQ(Channel0("r 6 tie D4 4 tempo 200"), (Bytes{0x0F, 0x06, 0xFB, 0x42, 0x04, 0xFC, 200}));
  EXPECT_EQ(Channel0("detune 16 detune -16 detune -32768 detune 65535"),
            (Bytes{0xFA, 0x10, 0x00, 0xFA, 0xF0, 0xFF, 0xFA, 0x00, 0x80, 0xFA, 0xFF, 0xFF}));
  EXPECT_EQ(Channel0("slide C4 D4 10 slide D4 C4 0"),
            (Bytes{0xDA, 0x40, 0x42, 10, 0xDA, 0x42, 0x40, 0}));
  EXPECT_EQ(Channel0("loop 3 { C2 4 } end"),
            (Bytes{0xF9, 0, 0, 0x20, 0x04, 0xF8, 0x03, 0, 0, 0, 0x80}));
  EXPECT_EQ(
      Channel0("loop 2 { loop 255 { r 1 } C3 1 }"),
      (Bytes{0xF9, 0, 0, 0xF9, 0, 0, 0x0F, 1, 0xF8, 255, 0, 0, 0, 0x30, 1, 0xF8, 2, 0, 0, 0}));
  EXPECT_EQ(Channel0("loop_point C2 4 end"), (Bytes{0xF6, 0x20, 0x04, 0x80}));
  EXPECT_EQ(Channel0("[F2 01 02 03 04] [1c 05] [7F] [0f,10]"),
            (Bytes{0xF2, 1, 2, 3, 4, 0x1C, 0x05, 0x7F, 0x0F, 0x10}));
}

TEST(Assembler, ConstantsExpressionsAndNamedInstruments) {
  EXPECT_EQ(Channel0("C4 0x10 C4 3*(2+4)/2 C4 -1+10"), (Bytes{0x40, 16, 0x40, 9, 0x40, 9}));
  const Bytes song = AssembleOk(
      "const Q = 24\nconst DOT = Q + Q / 2\n"
      "instrument 7 piano [01 02 03 04 05 06 07 08 09]\n"
      "channel 0 { inst piano C4 DOT C4 Q*2 end }\n");
  // Tracks 1..8 have no block, so they are empty and the bank follows track 0.
  const Bytes track(song.begin() + 27, song.begin() + 27 + 7);
  EXPECT_EQ(track, (Bytes{0xFF, 7, 0x40, 36, 0x40, 48, 0x80}));
  EXPECT_EQ(Bytes(song.begin() + 34, song.end()), (Bytes{7, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0}));
}

TEST(Assembler, NamedPatchFieldsFillTheRegisterBits) {
  const std::string src =
      "instrument 1 {\n"
      "  modulator mult=1 level=16 attack=15 decay=0 sustain=7 release=7\n"
      "  carrier   mult=1 level=0  attack=15 decay=0 sustain=7 release=7\n"
      "  feedback 0 connection fm\n}\n"
      "instrument 2 {\n"
      "  modulator tremolo vibrato sustaining ksr mult=15 ksl=3 level=21 attack=1 decay=2\n"
      "  carrier ksl=1 level=63 sustain=15 release=14\n"
      "  feedback 7 connection additive\n}\n"
      "instrument 3 { bytes [FF FF FF FF FF FF FF FF F0] modulator mult=0 feedback 1 }\n"
      "channel 0 { end }\n";
  const Bytes song = AssembleOk(src);
  const Bytes bank(song.begin() + 28, song.end());
  EXPECT_EQ(bank, (Bytes{1, 0x01, 0x01, 0x10, 0x00, 0xF0, 0xF0, 0x77, 0x77, 0x00,  //
                         2, 0xFF, 0x00, 0xD5, 0x7F, 0x12, 0x00, 0x00, 0xFE, 0x0F,  //
                         3, 0xF0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xF2,  //
                         0}));
}

TEST(Assembler, CompactLayoutOfTheWorkedExample) {
  Bytes expected;
  std::string error;
  ASSERT_TRUE(
      songtext::ReadWholeFile(OPL2_TEST_DATA_DIR "/songs/example51.song", &expected, &error));
  const Bytes song = AssembleOk(
      "instrument 1 [01 01 10 00 F0 F0 77 77 00]\n"
      "channel 0 { inst 1 C4 16 end }\n"
      "channel 1 { end } channel 2 { end } channel 3 { end } channel 4 { end }\n"
      "channel 5 { end } channel 6 { end } channel 7 { end } channel 8 { end }\n");
  EXPECT_EQ(song, expected);
}

TEST(Assembler, ASongWithoutInstrumentsStillGetsAValidBank) {
  const Bytes song = AssembleOk("channel 0 { end }");
  // Header, one track byte, then a record for patch 0 with the built-in
  // bytes (which changes nothing) and the terminator.
  ASSERT_EQ(song.size(), 27u + 1 + 10 + 1);
  EXPECT_EQ(song[28], 0);
  EXPECT_EQ(Bytes(song.begin() + 29, song.begin() + 38),
            Bytes(DEFAULT_PATCH.begin(), DEFAULT_PATCH.end()));
  EXPECT_EQ(song.back(), 0);
}

TEST(Assembler, ExplicitLayoutPlacesPartsAndDerivesBounds) {
  // Bank first, then the tracks end to end with their bounds derived.
  const Bytes song = AssembleOk(
      "layout explicit\nbank at 27\ninstrument 4 [00 00 00 00 00 00 00 00 00]\n"
      "channel 0 at 38 { C4 1 end }\n"
      "channel 1 at 41 { end } channel 2 at 42 { end } channel 3 at 43 { end }\n"
      "channel 4 at 44 { end } channel 5 at 45 { end } channel 6 at 46 { end }\n"
      "channel 7 at 47 { end } channel 8 at 48 { end }\n"
      "data at 50 [AA]\n");
  ASSERT_EQ(song.size(), 51u);
  const int bounds[10] = {37, 40, 41, 42, 43, 44, 45, 46, 47, 48};
  for (int k = 0; k < 10; ++k) EXPECT_EQ(song[1 + 2 * k] | (song[2 + 2 * k] << 8), bounds[k]);
  EXPECT_EQ(song[25], 26);  // bank_bound
  EXPECT_EQ(song[27], 4);
  EXPECT_EQ(song[37], 0);  // terminator
  EXPECT_EQ(song[49], 0);  // the gap reads as 0
  EXPECT_EQ(song[50], 0xAA);

  const Bytes stated = AssembleOk(
      "layout explicit\nsize 30\nformat 2\nbounds 1 3 3 3 3 3 3 3 3 3\nbank_bound 500\n"
      "reserved [01 02 03 04]\nchannel 0 at 2 { [00 03] }\n");
  ASSERT_EQ(stated.size(), 30u);
  EXPECT_EQ(Bytes(stated.begin(), stated.begin() + 5), (Bytes{2, 1, 0, 3, 0}));
  EXPECT_EQ(Bytes(stated.begin() + 21, stated.begin() + 27), (Bytes{1, 2, 3, 4, 0xF4, 0x01}));
}

TEST(Assembler, RawLayoutIsJustTheDataAndTheSize) {
  EXPECT_EQ(AssembleOk("layout raw size 0"), Bytes{});
  EXPECT_EQ(AssembleOk("layout raw size 5 data at 1 [03 04]"), (Bytes{0, 3, 4, 0, 0}));
  EXPECT_EQ(AssembleOk("layout raw data at 0 [07] data at 2 [08]"), (Bytes{7, 0, 8}));
}

}  // namespace
}  // namespace opl2::test
