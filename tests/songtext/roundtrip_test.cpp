// disasm then asm gives back every file byte for byte: generated songs in
// every layout, damaged files, odd files, the project's songs and examples.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "analysis/song_layout.h"
#include "random_songs.h"
#include "songtext/assembler.h"
#include "songtext/disassembler.h"
#include "songtext/file_io.h"

namespace opl2::test {
namespace {

std::string Hex(const Bytes& b) {
  std::string s;
  char buf[4];
  for (uint8_t x : b) {
    std::snprintf(buf, sizeof buf, "%02x", x);
    s += buf;
  }
  return s;
}

// The text of `file` assembles without an error into `file` itself.
void ExpectRoundTrip(const Bytes& file, const std::string& what) {
  const std::string text = songtext::Disassemble(file);
  const songtext::AssembleResult r = songtext::Assemble(text);
  std::string errors;
  for (const songtext::Diagnostic& d : r.diagnostics.list()) {
    if (!d.warning) errors += songtext::FormatDiagnostic("text", d) + "\n";
  }
  ASSERT_TRUE(r.ok()) << what << "\nfile: " << Hex(file) << "\ntext:\n" << text << errors;
  ASSERT_EQ(r.bytes, file) << what << "\ntext:\n" << text;
}

TEST(RoundTrip, GeneratedSongsOfEveryKind) {
  RandomSongs gen(20261208);
  int compact = 0, explicit_layout = 0, raw = 0;
  for (int i = 0; i < 20000; ++i) {
    const Bytes file = gen.Any();
    const analysis::SongLayout l = analysis::ReadLayout(file);
    if (!l.is_song || !l.full_header) {
      ++raw;
    } else if (l.compact) {
      ++compact;
    } else {
      ++explicit_layout;
    }
    ExpectRoundTrip(file, "generated song " + std::to_string(i));
    if (HasFatalFailure()) return;
  }
  // The generator must reach all three layouts often enough to matter.
  EXPECT_GT(compact, 2500);
  EXPECT_GT(explicit_layout, 5000);
  EXPECT_GT(raw, 1500);
}

TEST(RoundTrip, CompactSongsNeedNoOffsetsOrDataBlocks) {
  RandomSongs gen(42);
  for (int i = 0; i < 500; ++i) {
    const std::string text = songtext::Disassemble(gen.CompactSong());
    ASSERT_EQ(text.find("\nlayout "), std::string::npos) << text;
    ASSERT_EQ(text.find("data at"), std::string::npos) << text;
    ASSERT_NE(text.find("channel 8 {"), std::string::npos) << text;
  }
}

TEST(RoundTrip, EdgeFiles) {
  ExpectRoundTrip({}, "empty file");
  ExpectRoundTrip({2}, "the one-byte song");
  ExpectRoundTrip({3, 0, 0}, "first byte 3");
  Bytes header_only(27, 0);
  header_only[0] = 2;
  ExpectRoundTrip(header_only, "header with all bounds 0");
  Bytes big(27, 0xFF);  // bounds 65535: every track and the bank far past the end
  big[0] = 2;
  ExpectRoundTrip(big, "bounds past the end");
  RandomSongs gen(7);
  // Track 0 from offset 1: it reads the header's own bytes.
  Bytes over_header = gen.CompactSong();
  over_header[1] = 0;
  over_header[2] = 0;
  ExpectRoundTrip(over_header, "a track over the header");
  // The longest track: bounds 0 and 65535, the whole file after byte 0.
  Bytes longest(65536 + 11);
  for (uint8_t& b : longest) b = gen.Byte();
  longest[0] = 2;
  longest[1] = 0;
  longest[2] = 0;
  for (int k = 1; k < 10; ++k) {
    longest[static_cast<size_t>(1 + 2 * k)] = 0xFF;
    longest[static_cast<size_t>(2 + 2 * k)] = 0xFF;
  }
  ExpectRoundTrip(longest, "a 65535-byte track");
  Bytes long_track = gen.CompactSong();
  for (int i = 0; i < 3000; ++i) long_track.push_back(gen.Byte());  // bytes after the bank
  ExpectRoundTrip(long_track, "trailing bytes");
}

TEST(RoundTrip, ProjectSongsAndExamples) {
  namespace fs = std::filesystem;
  int files = 0;
  for (const char* dir : {OPL2_TEST_DATA_DIR "/songs", OPL2_TEST_DATA_DIR "/../../examples"}) {
    for (const auto& entry : fs::directory_iterator(dir)) {
      const std::string path = entry.path().string();
      Bytes bytes;
      std::string error;
      ASSERT_TRUE(songtext::ReadWholeFile(path, &bytes, &error)) << path << ": " << error;
      if (entry.path().extension() == ".opl2s") {
        const songtext::AssembleResult r =
            songtext::Assemble(std::string(bytes.begin(), bytes.end()));
        ASSERT_TRUE(r.ok()) << path;
        ExpectRoundTrip(r.bytes, path);
        ++files;
      } else if (entry.path().extension() == ".song") {
        ExpectRoundTrip(bytes, path);
        ++files;
      }
    }
  }
  EXPECT_GE(files, 6);
}

}  // namespace
}  // namespace opl2::test
