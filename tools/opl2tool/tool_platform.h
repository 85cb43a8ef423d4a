// What opl2tool needs from the system, beside the song code: Ctrl+C during a
// long write, terminals and path names. tool_platform.cpp is the
// POSIX side, tool_platform_win32.cpp the Windows one.
#pragma once

#include <string>

namespace opl2tool {

// Standard input and output carry bytes unchanged (no CR LF translation), so
// every command writes the same bytes on every system.
void PrepareStandardStreams();

// From here on Ctrl+C (and, on POSIX, SIGTERM and SIGHUP) sets the flag that
// Interrupted reports instead of ending the process.
void CatchInterrupts();
bool Interrupted();

// Standard error is a terminal (progress lines are worth showing).
bool StderrIsTerminal();

// The last component of `path` (after the last '/', and on Windows also '\'
// or a drive's ':').
std::string BaseName(const std::string& path);

}  // namespace opl2tool
