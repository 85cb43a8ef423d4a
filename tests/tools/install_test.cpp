// `cmake --install`: the programs, the timer library beside the player
// (where it looks for it), the manual pages and the bash completion, and no
// option of any command that the manual page or the completion leaves out.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <set>
#include <string>

#include "run_tool.h"

namespace opl2::test {
namespace {

namespace fs = std::filesystem;

const char* const kCommands[] = {"play", "trace", "render", "vgm", "asm", "disasm", "info", "chip"};

std::set<std::string> LongOptions(const std::string& text) {
  std::set<std::string> out;
  const std::regex option("--[a-z]+");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), option);
       it != std::sregex_iterator(); ++it) {
    out.insert(it->str());
  }
  return out;
}

TEST(Install, ProgramsLibraryManPagesAndCompletion) {
  const fs::path build = fs::path(OPL2_BIN_DIR).parent_path();
  const fs::path prefix = fs::temp_directory_path() / ("opl2-install-" + std::to_string(getpid()));
  const ToolResult r = RunCommand(std::string(OPL2_CMAKE) + " --install " + build.string() +
                                  " --prefix " + prefix.string());
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* file :
       {"bin/opl2play", "bin/opl2tool", "bin/libx68sound.so", "share/man/man1/opl2play.1",
        "share/man/man1/opl2tool.1", "share/bash-completion/completions/opl2tool"}) {
    EXPECT_TRUE(fs::is_regular_file(prefix / file)) << file;
  }
  // The pages render without a single warning.
  for (const char* page : {"opl2play.1", "opl2tool.1"}) {
    const ToolResult g =
        RunCommand("groff -man -Tutf8 -ww -z " + (prefix / "share/man/man1" / page).string());
    EXPECT_EQ(g.status, 0) << page;
    EXPECT_EQ(g.err, "") << page;
  }

  // Every option a command's help names is in the page and the completion.
  const std::string page = ReadWholeFile((prefix / "share/man/man1/opl2tool.1").string());
  const std::string completion = (prefix / "share/bash-completion/completions/opl2tool").string();
  for (const char* command : kCommands) {
    const std::string help = RunCommand(Tool(std::string(command) + " --help")).out;
    const std::set<std::string> options = LongOptions(help);
    ASSERT_FALSE(options.empty()) << command;
    const ToolResult offered =
        RunCommand("bash -c 'source " + completion + "; COMP_WORDS=(opl2tool " + command +
                   " --); COMP_CWORD=2; _opl2tool; printf \"%s\\n\" \"${COMPREPLY[@]}\"'");
    const std::set<std::string> completed = LongOptions(offered.out);
    for (const std::string& o : options) {
      if (o == "--help") continue;
      // The page writes '-' as '\-'.
      std::string roff = o;
      roff = std::regex_replace(roff, std::regex("-"), "\\-");
      EXPECT_NE(page.find(roff), std::string::npos) << command << " " << o << " not in the page";
      EXPECT_EQ(completed.count(o), 1u) << command << " " << o << " not completed";
    }
  }
  const ToolResult first = RunCommand("bash -c 'source " + completion +
                                      "; COMP_WORDS=(opl2tool re); COMP_CWORD=1; _opl2tool; "
                                      "echo \"${COMPREPLY[@]}\"'");
  EXPECT_EQ(first.out, "render\n");
  fs::remove_all(prefix);
}

}  // namespace
}  // namespace opl2::test
