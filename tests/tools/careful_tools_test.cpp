// What every writing command owes the user's files, the one option parser
// and the one shape of error messages, checked from outside through the
// built opl2tool.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/harness.h"
#include "run_tool.h"

namespace opl2::test {
namespace {

namespace fs = std::filesystem;

class CarefulTools : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("opl2-careful-" + std::to_string(getpid()));
    fs::create_directories(dir_ / "sub");
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string In(const std::string& name) const { return (dir_ / name).string(); }
  void Write(const std::string& name, const std::string& bytes) const {
    std::FILE* f = std::fopen(In(name).c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  fs::path dir_;
};

std::string Str(const Bytes& b) {
  return std::string(b.begin(), b.end());
}

const std::string kSource =
    "channel 0 { C4 4 end } channel 1 { end } channel 2 { end } channel 3 { end }\n"
    "channel 4 { end } channel 5 { end } channel 6 { end } channel 7 { end } channel 8 { end }\n";

// Every writing command, pointed at its own input under another name:
// status 1, one line that names both, and the input byte for byte as it was.
TEST_F(CarefulTools, NoCommandWritesOverItsInput) {
  const std::string song = Str(SongWithTrack0({0x40, 0x04, 0x80}));
  const std::string regs = "w 20 01\ns 10\n";
  Write("s.song", song);
  Write("s.opl2s", kSource);
  Write("s.regs", regs);
  ASSERT_EQ(link(In("s.song").c_str(), In("hard.wav").c_str()), 0);
  ASSERT_EQ(symlink(In("s.song").c_str(), In("soft.vgm").c_str()), 0);
  ASSERT_EQ(symlink(In("s.opl2s").c_str(), In("src.song").c_str()), 0);
  ASSERT_EQ(symlink(In("s.regs").c_str(), In("regs.s16").c_str()), 0);
  const std::string up = In("sub/../");
  struct Case {
    std::string args;
    std::string output;
    std::string input;
  };
  const std::vector<Case> cases = {
      {"vgm " + In("s.song") + " -o " + up + "s.song", up + "s.song", In("s.song")},
      {"vgm " + In("s.song") + " -o " + In("soft.vgm"), In("soft.vgm"), In("s.song")},
      {"render " + In("s.song") + " -o " + In("hard.wav"), In("hard.wav"), In("s.song")},
      {"disasm " + In("s.song") + " --output=" + up + "s.song", up + "s.song", In("s.song")},
      {"asm " + In("s.opl2s") + " -o " + In("src.song"), In("src.song"), In("s.opl2s")},
      {"chip " + In("s.regs") + " -o " + In("regs.s16"), In("regs.s16"), In("s.regs")},
      {"asm - -o " + In("s.opl2s") + " < " + In("s.opl2s"), In("s.opl2s"), "-"},
  };
  for (const Case& c : cases) {
    const ToolResult r = RunCommand("(" + Tool(c.args) + ")");
    EXPECT_EQ(r.status, 1) << c.args;
    const std::string input = c.input == "-" ? "standard input" : "'" + c.input + "'";
    const std::string command = c.args.substr(0, c.args.find(' '));
    EXPECT_EQ(r.err, "opl2tool " + command + ": cannot write '" + c.output + "': it is the input " +
                         input + " (the same file); nothing written\n")
        << c.args;
  }
  EXPECT_EQ(ReadWholeFile(In("s.song")), song);
  EXPECT_EQ(ReadWholeFile(In("s.opl2s")), kSource);
  EXPECT_EQ(ReadWholeFile(In("s.regs")), regs);
  EXPECT_EQ(fs::directory_iterator(dir_ / "sub"), fs::directory_iterator());  // no leftovers
  // Writing to standard output that is the input file (appending to it).
  const ToolResult r =
      RunCommand("(" + Tool("disasm " + In("s.song")) + " >> " + In("s.song") + ")");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(ReadWholeFile(In("s.song")), song);
}

// render, vgm and info refuse bytes the player would not load as a song.
TEST_F(CarefulTools, BytesThatAreNotASongAreRefused) {
  Write("empty.song", "");
  Write("text.song", "Hello");
  for (const char* command : {"render", "vgm", "info"}) {
    const std::string out = std::string(" -o ") + In("x") + (command[0] == 'r' ? ".wav" : ".vgm");
    const std::string args = std::string(command) + " " + (command[0] == 'i' ? "" : out) + " ";
    ToolResult r = RunCommand(Tool(args + In("empty.song")));
    EXPECT_EQ(r.status, 1) << command;
    EXPECT_EQ(r.err, std::string("opl2tool ") + command + ": '" + In("empty.song") +
                         "' is not a song: the file is empty\n");
    r = RunCommand(Tool(args + In("text.song")));
    EXPECT_EQ(r.status, 1) << command;
    EXPECT_EQ(r.err, std::string("opl2tool ") + command + ": '" + In("text.song") +
                         "' is not a song: its first byte is 0x48, not 0x02\n");
  }
  EXPECT_FALSE(fs::exists(In("x.wav")));
  EXPECT_FALSE(fs::exists(In("x.vgm")));
}

TEST_F(CarefulTools, OneOptionParserForEveryCommand) {
  Write("s.song", Str(SongWithTrack0({0x40, 0x04, 0x80})));
  const std::string s = In("s.song");
  // --opt=value, --opt value, options after the song, '-' for standard input.
  const ToolResult a = RunCommand(Tool("trace --ticks=20 " + s));
  const ToolResult b = RunCommand(Tool("trace " + s + " --ticks 20"));
  const ToolResult c = RunCommand("(" + Tool("trace - --ticks 20") + " < " + s + ")");
  EXPECT_EQ(a.status, 0);
  EXPECT_NE(a.out.find("\n20 tb 180\n"), std::string::npos);
  EXPECT_EQ(a.out.find("\n21 "), std::string::npos);
  EXPECT_EQ(a.out, b.out);
  EXPECT_EQ(a.out, c.out);
  // '--' ends the options: a song whose name starts with '-'.
  Write("-dash.song", ReadWholeFile(s));
  const ToolResult d =
      RunCommand("cd " + dir_.string() + " && " + Tool("trace --ticks 20 -- -dash.song"));
  EXPECT_EQ(d.out, a.out) << d.err;

  struct Bad {
    std::string args;
    std::string err;
  };
  const std::vector<Bad> bad = {
      {"info --jsn " + s, "opl2tool info: unknown option '--jsn' (see --help)\n"},
      {"info --jsn=1 " + s, "opl2tool info: unknown option '--jsn' (see --help)\n"},
      {"info --json=yes " + s, "opl2tool info: --json takes no value\n"},
      {"render " + s + " -x", "opl2tool render: unknown option '-x' (see --help)\n"},
      {"trace " + s + " --ticks", "opl2tool trace: --ticks needs a value (N)\n"},
      {"trace " + s + " --ticks 5 --ticks 6", "opl2tool trace: --ticks is given twice\n"},
      {"trace " + s + " --ticks 100000001",
       "opl2tool trace: --ticks takes a whole number from 0 to 100000000, not '100000001'\n"},
      {"trace " + s + " " + s, "opl2tool trace: unexpected argument '" + s + "' (see --help)\n"},
      {"vgm " + s + " -o a.vgm -o b.vgm", "opl2tool vgm: --output is given twice\n"},
      {"chip --pace=1 x.regs -o x.s16", "opl2tool chip: --pace takes no value\n"},
      {"disasm", "opl2tool disasm: needs a SONG (see --help)\n"},
  };
  for (const Bad& x : bad) {
    const ToolResult r = RunCommand(Tool(x.args));
    EXPECT_EQ(r.status, 2) << x.args;
    EXPECT_EQ(r.err, x.err) << x.args;
    EXPECT_EQ(r.out, "") << x.args;
  }
  const ToolResult help = RunCommand(Tool("trace --help"));
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("0 to 100000000"), std::string::npos) << help.out;
}

TEST_F(CarefulTools, FailuresToReadOrWriteSayWhatAndWhy) {
  Write("s.song", Str(SongWithTrack0({0x40, 0x04, 0x80})));
  const std::string s = In("s.song");
  const std::string missing = In("missing.song");
  for (const std::string& args :
       {"info " + missing, "disasm " + missing, "asm " + missing + " -o x",
        "vgm --check " + missing, "chip " + missing + " -o x"}) {
    const ToolResult r = RunCommand(Tool(args));
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_EQ(r.err, "opl2tool " + args.substr(0, args.find(' ')) + ": cannot read '" + missing +
                         "': No such file or directory\n");
  }
  const ToolResult dir = RunCommand(Tool("disasm " + dir_.string()));
  EXPECT_EQ(dir.err, "opl2tool disasm: cannot read '" + dir_.string() + "': Is a directory\n");
  // A full disk under standard output is an error, not a silent success.
  for (const std::string& args : {"trace " + s, "disasm " + s, "info " + s, "info --json " + s}) {
    const ToolResult r = RunCommand("(" + Tool(args) + " >/dev/full)");
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_EQ(r.err, "opl2tool " + args.substr(0, args.find(' ')) +
                         ": cannot write standard output: No space left on device\n")
        << args;
  }
  const ToolResult w = RunCommand(Tool("vgm " + s + " -o " + In("none/x.vgm")));
  EXPECT_EQ(w.status, 1);
  EXPECT_EQ(w.err,
            "opl2tool vgm: cannot write '" + In("none/x.vgm") + "': No such file or directory\n");
}

// Every error of a file, each after the one before it has been recovered
// from at the next statement, and the warnings for what plays otherwise
// than meant.
TEST_F(CarefulTools, TheAssemblerReportsEveryErrorAndWarnsWhereASongMisplays) {
  Write("bad.opl2s",
        "instrument 1 [01 02]\n"           // line 1: too few bytes
        "channel 0 { X4 4 end }\n"         // line 2: hidden before by line 1's error
        "channel 1 { inst lead end }\n");  // line 3: an instrument, not a constant
  const ToolResult r = RunCommand(Tool("asm " + In("bad.opl2s") + " -o " + In("bad.song")));
  EXPECT_EQ(r.status, 1);
  const std::string f = In("bad.opl2s");
  EXPECT_EQ(r.err, f + ":1:1: an instrument has exactly 9 bytes\n" + f +
                       ":2:13: 'X4' is not a note name: a letter A..G, then # or b, then the "
                       "octave 0..7\n" +
                       f +
                       ":3:18: unknown instrument 'lead' (name it in its 'instrument N lead' "
                       "line, before the channels that use it)\n"
                       "opl2tool asm: 3 errors; '" +
                       In("bad.song") + "' not written\n");

  Write("warn.opl2s",
        "\xEF\xBB\xBF"
        "channel 0 { inst 7 C4 4 }\n"
        "channel 1 { loop_point loop 2 { C4 4 end } }\n"
        "channel 2 { end } channel 3 { end } channel 4 { end } channel 5 { end }\n"
        "channel 6 { end } channel 7 { end } channel 8 { end }\n");
  const ToolResult w = RunCommand(Tool("asm " + In("warn.opl2s") + " -o " + In("warn.song")));
  EXPECT_EQ(w.status, 0) << w.err;
  const std::string g = In("warn.opl2s");
  EXPECT_EQ(w.err,
            g + ":1:1: warning: byte-order mark at the start of the file (ignored)\n" + g +
                ":2:38: warning: 'end' inside a loop opened after 'loop_point': every pass back "
                "to the loop point leaves the loop open, until the 256th open loop stops the "
                "channel (close the loop before 'end')\n" +
                g +
                ":1:1: warning: channel 0 has no 'end': after its last event it plays the zero "
                "bytes that follow the track, a low C held for ever\n" +
                g +
                ":1:18: warning: instrument 7 is used but never defined: its patch is all zero "
                "bytes, so the notes played with it are silent\n");
}

}  // namespace
}  // namespace opl2::test
