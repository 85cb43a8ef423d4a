// opl2tool vgm: the exported file on disk, its tag, --check, and what
// errors and interruptions leave behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "engine/harness.h"
#include "tools/run_tool.h"
#include "vgm/vgm_reader.h"

namespace opl2::test {
namespace {

namespace fs = std::filesystem;

class VgmCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("opl2-vgm-" + std::to_string(getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Out(const char* name) const { return (dir_ / name).string(); }
  fs::path dir_;
};

vgm::VgmFile Parse(const std::string& bytes) {
  vgm::VgmFile f;
  std::string error;
  EXPECT_TRUE(
      vgm::ReadVgm(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &f, &error))
      << error;
  return f;
}

TEST_F(VgmCommand, SameBytesEveryRunAndTheTagFromTheOptions) {
  TempFile song(SongWithTrack0({0xDA, 0x30, 0x52, 0x20, 0xFB, 0x44, 0x08, 0x0F, 0x04, 0x80}));
  const std::string s = song.path();
  const std::string a = Out("a.vgm"), b = Out("b.vgm");
  const std::string args =
      " --title 'Slide \xC3\xA9tude' --author Someone --game Tests"
      " --date 2026 --notes 'two words' -o ";
  ASSERT_EQ(RunCommand(Tool("vgm " + s + args + a)).status, 0);
  ASSERT_EQ(RunCommand(Tool("vgm " + s + args + b)).status, 0);
  const std::string bytes = ReadWholeFile(a);
  EXPECT_EQ(bytes, ReadWholeFile(b));
  const vgm::VgmFile f = Parse(bytes);
  ASSERT_TRUE(f.gd3.has_value());
  const auto& t = f.gd3->fields;
  EXPECT_EQ(t[vgm::kTitle], "Slide \xC3\xA9tude");
  EXPECT_EQ(t[vgm::kAuthor], "Someone");
  EXPECT_EQ(t[vgm::kGame], "Tests");
  EXPECT_EQ(t[vgm::kDate], "2026");
  EXPECT_EQ(t[vgm::kSystem], "AdLib-compatible OPL2");
  EXPECT_EQ(t[vgm::kConverter], "opl2tool");
  EXPECT_EQ(t[vgm::kNotes], "two words\nSong file: " + fs::path(s).filename().string());
  EXPECT_EQ(t[vgm::kTitleJp], "");

  // Without options: the title is the song file's name, the notes name it.
  const std::string plain = Out("plain.vgm");
  fs::copy_file(s, Out("my song.v2.song"));
  ASSERT_EQ(RunCommand(Tool("vgm '" + Out("my song.v2.song") + "' -o " + plain)).status, 0);
  const vgm::VgmFile p = Parse(ReadWholeFile(plain));
  EXPECT_EQ(p.gd3->fields[vgm::kTitle], "my song.v2");
  EXPECT_EQ(p.gd3->fields[vgm::kNotes], "Song file: my song.v2.song");
}

TEST_F(VgmCommand, CheckReportsAGoodFileAndRejectsABadOne) {
  TempFile song(SongWithTrack0({0x40, 0x08, 0xF6, 0x44, 0x10, 0x80}));
  const std::string out = Out("loop.vgm");
  ASSERT_EQ(
      RunCommand(Tool("vgm " + std::string(song.path()) + " -o " + out + " --loops 2")).status, 0);
  const vgm::VgmFile f = Parse(ReadWholeFile(out));
  const ToolResult r = RunCommand(Tool("vgm --check " + out));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("VGM 1.51"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("YM3812 clock: 3579545 Hz"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("total: " + std::to_string(f.total_samples) + " samples"), std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("loop: from"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(std::to_string(f.counts.ym3812_writes) + " YM3812 writes"),
            std::string::npos)
      << r.out;

  std::string cut = ReadWholeFile(out);
  cut.resize(cut.size() - 3);
  const std::string bad = Out("cut.vgm");
  {
    std::FILE* file = std::fopen(bad.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(cut.data(), 1, cut.size(), file);
    std::fclose(file);
  }
  const ToolResult rb = RunCommand(Tool("vgm --check " + bad));
  EXPECT_EQ(rb.status, 1);
  EXPECT_EQ(rb.out, "");
  EXPECT_NE(rb.err.find("truncated"), std::string::npos) << rb.err;
  EXPECT_EQ(RunCommand(Tool("vgm --check " + Out("none.vgm"))).status, 1);
  EXPECT_EQ(RunCommand(Tool("vgm --check " + std::string(song.path()))).status, 1);
}

TEST_F(VgmCommand, ErrorsLeaveNoFile) {
  TempFile song(SongWithTrack0({0x40, 0x10, 0x80}));
  const std::string s = song.path();
  const ToolResult missing = RunCommand(Tool("vgm /nonexistent.song -o " + Out("m.vgm")));
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err,
            "opl2tool vgm: cannot read '/nonexistent.song': No such file or directory\n");
  const ToolResult dir = RunCommand(Tool("vgm " + s + " -o " + Out("no/such/dir.vgm")));
  EXPECT_EQ(dir.status, 1);
  EXPECT_NE(dir.err.find("no/such/dir.vgm"), std::string::npos) << dir.err;
  for (const std::string& args :
       {"vgm " + s, "vgm -o " + Out("x.vgm"), "vgm " + s + " -o " + Out("x.vgm") + " --loops x",
        "vgm " + s + " -o " + Out("x.vgm") + " --seconds 0", "vgm " + s + " --bogus",
        "vgm --check " + s + " -o " + Out("x.vgm"), "vgm " + s + " -o"}) {
    const ToolResult r = RunCommand(Tool(args));
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_NE(r.err, "") << args;
  }
  EXPECT_TRUE(fs::is_empty(dir_));
  const ToolResult help = RunCommand(Tool("vgm --help"));
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("--check"), std::string::npos);
}

TEST_F(VgmCommand, InterruptLeavesNoFile) {
  TempFile song(SongWithTrack0({0x40, 0x00}));  // never ends: capped at 24 hours
  const std::string out = Out("long.vgm");
  // The child starts with SIGINT blocked, so it stays pending until the tool
  // is ready for it, however slow its start (a sanitizer build): the
  // interrupt always lands mid-export.
  sigset_t interrupt;
  sigset_t before;
  sigemptyset(&interrupt);
  sigaddset(&interrupt, SIGINT);
  sigprocmask(SIG_BLOCK, &interrupt, &before);
  const pid_t pid = fork();
  if (pid != 0) sigprocmask(SIG_SETMASK, &before, nullptr);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const std::string tool = std::string(OPL2_BIN_DIR) + "/opl2tool";
    execl(tool.c_str(), tool.c_str(), "vgm", song.path(), "-o", out.c_str(), "--seconds", "86400",
          static_cast<char*>(nullptr));
    _exit(127);
  }
  kill(pid, SIGINT);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130);
  EXPECT_TRUE(fs::is_empty(dir_));
}

}  // namespace
}  // namespace opl2::test

namespace opl2::test {
namespace {

// A .vgz name gives the gzip form of the very bytes a .vgm name gives
// (gzip itself unpacks it); --check reads both.
TEST_F(VgmCommand, VgzIsTheGzipOfTheVgmAndCheckReadsIt) {
  TempFile song(SongWithTrack0({0xDA, 0x30, 0x52, 0x20, 0xFB, 0x44, 0x08, 0x0F, 0x04, 0x80}));
  const std::string s = song.path();
  ASSERT_EQ(RunCommand(Tool("vgm " + s + " --title T -o " + Out("a.vgm"))).status, 0);
  ASSERT_EQ(RunCommand(Tool("vgm " + s + " --title T -o " + Out("a.vgz"))).status, 0);
  ASSERT_EQ(RunCommand(Tool("vgm " + s + " --title T -o " + Out("b.VGZ"))).status, 0);
  const std::string vgz = ReadWholeFile(Out("a.vgz"));
  ASSERT_GE(vgz.size(), 2u);
  EXPECT_EQ(vgz.substr(0, 2), "\x1F\x8B");
  EXPECT_EQ(vgz, ReadWholeFile(Out("b.VGZ")));  // the same bytes every time
  const ToolResult unpacked = RunCommand("gzip -dc " + Out("a.vgz"));
  ASSERT_EQ(unpacked.status, 0) << unpacked.err;
  EXPECT_EQ(unpacked.out, ReadWholeFile(Out("a.vgm")));
  EXPECT_LT(vgz.size(), unpacked.out.size());

  const ToolResult plain = RunCommand(Tool("vgm --check " + Out("a.vgm")));
  const ToolResult packed = RunCommand(Tool("vgm --check " + Out("a.vgz")));
  EXPECT_EQ(packed.status, 0) << packed.err;
  // The same report, the first line saying it was compressed.
  const size_t eol = plain.out.find('\n');
  EXPECT_EQ(packed.out.substr(packed.out.find('\n')), plain.out.substr(eol));
  EXPECT_NE(packed.out.substr(0, packed.out.find('\n')).find("(gzip-compressed)"),
            std::string::npos);

  // A gzip stream cut short is refused with the reason.
  const std::string cut = Out("cut.vgz");
  std::FILE* f = std::fopen(cut.c_str(), "wb");
  std::fwrite(vgz.data(), 1, vgz.size() / 2, f);
  std::fclose(f);
  const ToolResult bad = RunCommand(Tool("vgm --check " + cut));
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.err, "opl2tool vgm: '" + cut +
                         "': not a VGM file: gzip data, but the compressed data is cut short\n");
}

}  // namespace
}  // namespace opl2::test
