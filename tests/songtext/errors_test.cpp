// Broken sources: every error is reported with its line and column, and
// the assembler leaves the target file alone.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <string>

#include "songtext/assembler.h"
#include "tools/run_tool.h"

namespace opl2::test {
namespace {

std::string Messages(const std::string& source) {
  const songtext::AssembleResult r = songtext::Assemble(source);
  std::string out;
  for (const auto& d : r.diagnostics.list()) out += songtext::FormatDiagnostic("s", d) + "\n";
  return out;
}

TEST(SourceErrors, EveryErrorIsReportedWithItsPlace) {
  const std::string source =
      "const Q = 24\n"                 // 1
      "instrument 1 lead {\n"          // 2
      "  modulator mult=16 level=3\n"  // 3
      "  carrier wobble=2\n"           // 4
      "}\n"                            // 5
      "channel 0 {\n"                  // 6
      "  inst lead\n"                  // 7
      "  C4 Q  H4 Q\n"                 // 8
      "  vol 300\n"                    // 9
      "  loop 0 { C4 1 }\n"            // 10
      "  slide C4 X4 10\n"             // 11
      "  frobnicate 3\n"               // 12
      "  C4 Q*Z  C9 1\n"               // 13
      "}\n"                            // 14
      "channel 9 { end }\n"            // 15
      "channel 1 { r 256 ]\n"          // 16
      "channel 2 { end }\n"            // 17
      "instrument 0 [01 02 03]\n";     // 18
  EXPECT_EQ(Messages(source),
            "s:3:18: mult must be 0..15, not 16\n"
            "s:4:11: unknown operator field 'wobble' (mult, level, ksl, attack, decay, sustain, "
            "release, tremolo, vibrato, sustaining, ksr)\n"
            "s:8:9: 'H4' is not a note name: a letter A..G, then # or b, then the octave 0..7\n"
            "s:9:7: a volume must be 0..255, not 300\n"
            "s:10:8: a loop count must be 1..255, not 0\n"
            "s:11:12: expected a note such as C4, F#3 or Bb5, found 'X4'\n"
            "s:12:3: unknown event 'frobnicate'\n"
            "s:13:8: unknown constant 'Z' (define it first with const)\n"
            "s:15:9: the channel number must be 0..8, not 9\n"
            "s:16:15: a rest length must be 0..255, not 256\n"
            "s:16:11: '{' is never closed by '}' (line 17 starts a new 'channel')\n"
            "s:18:1: an instrument has exactly 9 bytes\n");
}

TEST(SourceErrors, LexicalAndStructuralMistakes) {
  EXPECT_EQ(Messages("channel 0 { C4 4 @ end }\n}\n"),
            "s:1:18: unexpected character '@'\n"
            "s:2:1: '}' without a block to close\n");
  EXPECT_EQ(Messages("channel 0 { [F2 GG 100] end }"),
            "s:1:17: expected a hex byte (00..FF) or ']', found 'GG'\n");
  EXPECT_EQ(Messages("channel 0 { C4 4\n"), "s:1:11: '{' is never closed by '}'\n");
  EXPECT_EQ(Messages("const C4 = 3\nconst A = 1\nconst A = 2\nlayout sideways\n"),
            "s:1:7: expected a constant name (letters, digits, '_'; not a note name), found "
            "'C4'\n"
            "s:3:7: constant 'A' is already defined\n"
            "s:4:8: layout is compact, explicit or raw, not 'sideways'\n");
  // One error per line: the rest of the line is skipped.
  EXPECT_EQ(Messages("channel 0 { C4 4/0 detune 70000\ndetune 70000 }"),
            "s:1:17: division by zero\n"
            "s:2:8: a detune must be -32768..65535, not 70000\n");
  // 2^40 is the largest number; a product or sum past it is refused at its
  // operator, even where 64 bits would overflow (2^80).
  EXPECT_EQ(Messages("channel 0 { C4 1099511627776*1099511627776\n"
                     "C4 1099511627776+1099511627776 }"),
            "s:1:29: number too large\n"
            "s:2:17: number too large\n");
}

TEST(SourceErrors, LayoutRulesAreChecked) {
  // Offsets and data in a compact song; a second patch 0 that would end the bank.
  EXPECT_EQ(Messages("instrument 1 [00 00 00 00 00 00 00 00 00]\n"
                     "instrument 0 [00 00 00 00 00 00 00 00 00]\n"
                     "bounds 26 26 26 26 26 26 26 26 26 26\n"
                     "data at 100 [00]\n"
                     "channel 0 at 27 { end }\n"),
            "s:3:1: 'bounds' is only used with 'layout explicit'\n"
            "s:4:1: data blocks are only used with 'layout explicit' or 'layout raw'\n"
            "s:5:1: 'at' is only used with 'layout explicit'\n"
            "s:2:1: instrument 0 must be the first instrument defined: anywhere else its "
            "record reads as the end of the bank\n");
  // Bounds that cannot be derived; two parts that disagree about a byte; a
  // size too small.
  EXPECT_EQ(Messages("layout explicit\nsize 28\nbank_bound 26\n"
                     "channel 0 at 27 { end }\nchannel 1 at 27 { r 1 }\n"),
            "s:5:1: channel 1 does not start right after channel 0; give the track bounds with "
            "'bounds'\n"
            "s:5:1: channel 1 puts 0F at offset 27, where channel 0 (line 4) put 80\n"
            "s:2:1: the parts placed reach offset 29, past the size 28\n");
  EXPECT_EQ(Messages("layout raw\nformat 2\nchannel 0 { end }\ninstrument 1 [00 00 00 00 00 00 "
                     "00 00 00]\n"),
            "s:2:1: 'format' is only used with 'layout compact' or 'layout explicit'\n"
            "s:4:1: a raw file has no instruments: write its bytes as data\n"
            "s:3:1: a raw file has no channels: write its bytes as data\n");
}

TEST(SourceErrors, WarningsDoNotStopTheSong) {
  const songtext::AssembleResult r = songtext::Assemble("channel 0 { vol 200 end }");
  EXPECT_TRUE(r.ok());
  ASSERT_EQ(r.diagnostics.list().size(), 9u);  // the volume, and channels 1..8 missing
  EXPECT_EQ(songtext::FormatDiagnostic("s", r.diagnostics.list()[0]),
            "s:1:17: warning: volumes above 127 act as 127 on most patches");
  EXPECT_EQ(songtext::FormatDiagnostic("s", r.diagnostics.list()[1]),
            "s:1:1: warning: channel 1 has no block: its empty track holds a low C for ever "
            "(write 'channel 1 { end }' to keep it silent)");
}

TEST(SourceErrors, TheToolReportsAllAndKeepsTheOldSong) {
  char dir[] = "/tmp/opl2-asm-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string src = std::string(dir) + "/bad.opl2s";
  const std::string song = std::string(dir) + "/out.song";
  {
    std::FILE* f = std::fopen(src.c_str(), "w");
    std::fputs("channel 0 {\n  C4 300\n  Q4 1\n}\n", f);
    std::fclose(f);
    f = std::fopen(song.c_str(), "w");
    std::fputs("old", f);
    std::fclose(f);
  }
  const ToolResult r = RunCommand(Tool("asm " + src + " -o " + song));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, src + ":2:6: a note length must be 0..255, not 300\n" + src +
                       ":3:3: 'Q4' is not a note name: a letter A..G, then # or b, then the "
                       "octave 0..7\n"
                       "opl2tool asm: 2 errors; '" +
                       song + "' not written\n");
  EXPECT_EQ(ReadWholeFile(song), "old");

  const ToolResult missing = RunCommand(Tool("asm " + std::string(dir) + "/nope -o " + song));
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("cannot read"), std::string::npos);
  EXPECT_EQ(RunCommand(Tool("asm " + src)).status, 2);  // no -o

  // A good source replaces the old song, and no temporary file stays behind.
  std::FILE* f = std::fopen(src.c_str(), "w");
  std::fputs("channel 0 { end }", f);
  std::fclose(f);
  EXPECT_EQ(RunCommand(Tool("asm " + src + " -o " + song)).status, 0);
  EXPECT_EQ(ReadWholeFile(song).size(), 27u + 1 + 11);
  const ToolResult ls = RunCommand("ls " + std::string(dir));
  EXPECT_EQ(ls.out, "bad.opl2s\nout.song\n");
  RunCommand("rm -r " + std::string(dir));
}

}  // namespace
}  // namespace opl2::test

namespace opl2::test {
namespace {

// Damaged sources never crash the assembler, and every message points into
// the source.
TEST(SourceErrors, MangledSourcesGetMessagesThatPointIntoThem) {
  const std::string examples = std::string(OPL2_TEST_DATA_DIR) + "/../../examples/";
  const std::string demo = ReadWholeFile(examples + "demo.opl2s");
  ASSERT_FALSE(demo.empty());
  const std::string junk = "{}[]()=+-*/;#,@ \n0123456789xABCDEFGb_";
  std::mt19937 rng(99);
  int with_errors = 0;
  for (int i = 0; i < 1500; ++i) {
    std::string text = demo;
    for (int n = std::uniform_int_distribution<int>(1, 8)(rng); n > 0; --n) {
      const size_t at = std::uniform_int_distribution<size_t>(0, text.size() - 1)(rng);
      switch (std::uniform_int_distribution<int>(0, 2)(rng)) {
        case 0:
          text.erase(at, std::uniform_int_distribution<size_t>(1, 12)(rng));
          break;
        case 1:
          text.insert(at, 1, junk[std::uniform_int_distribution<size_t>(0, junk.size() - 1)(rng)]);
          break;
        default:
          text[at] = junk[std::uniform_int_distribution<size_t>(0, junk.size() - 1)(rng)];
          break;
      }
      if (text.empty()) text = " ";
    }
    const songtext::AssembleResult r = songtext::Assemble(text);
    const int lines = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
    for (const songtext::Diagnostic& d : r.diagnostics.list()) {
      ASSERT_GE(d.pos.line, 1);
      ASSERT_LE(d.pos.line, lines) << d.message;
      ASSERT_GE(d.pos.column, 1);
      ASSERT_FALSE(d.message.empty());
    }
    if (!r.ok()) ++with_errors;
  }
  EXPECT_GT(with_errors, 750);  // most mangled sources are wrong, and said to be
}

}  // namespace
}  // namespace opl2::test
