#include "player/command_tail.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace opl2 {
namespace {

struct TailCase {
  const char* what;
  std::string command_line;
  std::string tail;
};

TEST(CommandTailTest, TakesTheRestOfTheLineAfterTheProgramName) {
  const std::vector<TailCase> cases = {
      {"no argument", "opl2play", ""},
      {"no argument, trailing blanks", "opl2play   ", ""},
      {"empty command line", "", ""},
      {"one name", "opl2play song.sng", "song.sng"},
      {"quotes are kept", "opl2play \"my song.sng\"", "\"my song.sng\""},
      {"blanks without quotes stay in one name", "opl2play my song.sng", "my song.sng"},
      {"leading blanks and tabs dropped, trailing kept", "opl2play  \t  song.sng  ", "song.sng  "},
      {"every white-space kind is dropped", "opl2play \t\n\v\f\r song", "song"},
      {"inner white space kept", "opl2play a \t b", "a \t b"},
      {"quoted program name with a blank", "\"/opt/my player/opl2play\" song", "song"},
      {"quote stretch inside the program name", "/opt/my\" \"dir/opl2play song", "song"},
      {"unclosed quote runs to the end", "\"/opt/my player song", ""},
      {"a tab does not end the program name", "opl2play\tsong", ""},
      {"blank after a tab ends it", "opl2play\tx song", "song"},
      {"0x14 last drops the whole text", "opl2play song\x14", ""},
      {"0x14 alone", "opl2play \x14", ""},
      {"0x14 inside stays", "opl2play so\x14ng", "so\x14ng"},
  };
  for (const TailCase& c : cases) {
    EXPECT_EQ(CommandTailOf(c.command_line), c.tail) << c.what;
  }
}

std::string JoinOf(std::vector<const char*> args) {
  return JoinCommandLine(static_cast<int>(args.size()), args.data());
}

TEST(CommandTailTest, JoinsArgumentsWithSingleBlanks) {
  EXPECT_EQ(JoinOf({"opl2play"}), "opl2play");
  EXPECT_EQ(JoinOf({"opl2play", "my", "song.sng"}), "opl2play my song.sng");
  EXPECT_EQ(JoinOf({"opl2play", " x ", ""}), "opl2play  x  ");
  EXPECT_EQ(JoinOf({}), "");
}

TEST(CommandTailTest, ProgramNameIsPassedOverWhateverItHolds) {
  // Whatever the program name looks like, the tail is the arguments.
  const std::vector<const char*> names = {"opl2play", "/opt/my player/opl2play",
                                          "/opt/a\"b/opl2play", "/opt/a\" b/opl2play",
                                          "/opt/x\ty/opl2play"};
  for (const char* name : names) {
    EXPECT_EQ(CommandTailOf(JoinOf({name, "my", "song.sng"})), "my song.sng") << name;
    EXPECT_EQ(CommandTailOf(JoinOf({name})), "") << name;
  }
}

TEST(CommandTailTest, ArgumentsFormTheTailAsTheUserGaveThem) {
  // The shell took the quotes away; blanks inside an argument stay.
  EXPECT_EQ(CommandTailOf(JoinOf({"opl2play", "my song.sng"})), "my song.sng");
  // An argument that keeps its quotes (escaped on the shell) keeps them here.
  EXPECT_EQ(CommandTailOf(JoinOf({"opl2play", "\"song.sng\""})), "\"song.sng\"");
  EXPECT_EQ(CommandTailOf(JoinOf({"opl2play", "  \tsong.sng "})), "song.sng ");
  EXPECT_EQ(CommandTailOf(JoinOf({"opl2play", "song", "\x14"})), "");
}

TEST(CommandTailTest, GetCommandTailUsesTheRecordedCommandLine) {
  const char* argv[] = {"/usr/bin/opl2play", "some", "song.sng"};
  SetCommandLine(3, argv);
  EXPECT_EQ(GetCommandLine(), "/usr/bin/opl2play some song.sng");
  EXPECT_EQ(GetCommandTail(), "some song.sng");
}

}  // namespace
}  // namespace opl2
