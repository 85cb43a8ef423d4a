// Runs a built program and captures its exit status, stdout and stderr.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace opl2::test {

struct ToolResult {
  int status = -1;
  std::string out;
  std::string err;
};

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

// Runs `command` (a shell command line) with stdout and stderr captured.
inline ToolResult RunCommand(const std::string& command) {
  char out_name[] = "/tmp/opl2-tool-out-XXXXXX";
  char err_name[] = "/tmp/opl2-tool-err-XXXXXX";
  close(mkstemp(out_name));
  close(mkstemp(err_name));
  const std::string line = command + " >" + out_name + " 2>" + err_name + " </dev/null";
  const int raw = std::system(line.c_str());
  ToolResult r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = ReadWholeFile(out_name);
  r.err = ReadWholeFile(err_name);
  unlink(out_name);
  unlink(err_name);
  return r;
}

inline std::string Tool(const std::string& args) {
  return std::string(OPL2_BIN_DIR) + "/opl2tool " + args;
}

}  // namespace opl2::test
