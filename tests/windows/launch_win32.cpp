// launch PROGRAM LINE_FILE: starts PROGRAM with the contents of LINE_FILE,
// byte for byte, as its command line (CreateProcessA), waits for it and exits
// with its status. Starting a program from a Unix shell under Wine rebuilds
// the command line from split arguments; this gives the program an exact one.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: launch PROGRAM LINE_FILE\n");
    return 125;
  }
  std::ifstream in(argv[2], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "launch: cannot read %s\n", argv[2]);
    return 125;
  }
  std::string line((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(argv[1], line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process)) {
    std::fprintf(stderr, "launch: cannot start %s (error %lu)\n", argv[1], GetLastError());
    return 125;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 125;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(status);
}
