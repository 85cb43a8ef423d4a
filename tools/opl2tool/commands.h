// The subcommands of opl2tool. Each takes the arguments after its name
// (argv[0] is the subcommand name) and returns the process exit status.
#pragma once

namespace opl2tool {

struct Command {
  const char* name;
  const char* usage;    // one line: arguments after the name
  const char* summary;  // one line: what it does
  int (*run)(int argc, char** argv);
};

int RunTrace(int argc, char** argv);
int RunChip(int argc, char** argv);
int RunRender(int argc, char** argv);
int RunKeys(int argc, char** argv);
int RunAsm(int argc, char** argv);
int RunDisasm(int argc, char** argv);
int RunInfo(int argc, char** argv);
int RunVgm(int argc, char** argv);
int RunPlay(int argc, char** argv);

}  // namespace opl2tool
