// The song-file name comes from the command line as one string: the program
// name, then everything after it. Windows keeps that string
// (GetCommandLineA, command_line_win32.cpp). Linux hands over the arguments
// already split, so the string is formed again from argv (JoinCommandLine,
// command_line.cpp) and the tail is taken from it by the same rules a whole
// command line gets.
#pragma once

#include <string>
#include <string_view>

namespace opl2 {

// The part of `command_line` after the program name:
//  - the program name ends at the first blank (32) outside double quotes; a
//    double quote opens a stretch that closes at the next one (both quotes
//    belong to the name; an unclosed stretch runs to the end); a tab does not
//    end the name;
//  - every white-space character after it (32, 9, 10, 11, 12, 13) is dropped;
//  - the rest is returned unchanged: inner and trailing blanks and quotes stay;
//  - a result whose last character is 20 (0x14) becomes the empty string.
std::string CommandTailOf(std::string_view command_line);

// argv[0], then argv[1..argc-1], joined by single blanks. A program name that
// holds a blank or a double quote is put in double quotes, without the double
// quotes of its own, so that the tail rules pass over it whole. The arguments
// are taken as they are. argc <= 0 gives the empty string.
std::string JoinCommandLine(int argc, const char* const* argv);

// Records the process command line (JoinCommandLine of main's arguments) for
// GetCommandTail. Call it once at the start of main, before any thread runs.
// Does nothing on Windows, which keeps the line itself.
void SetCommandLine(int argc, const char* const* argv);

// The command line recorded by SetCommandLine; when none was recorded, the
// one formed from /proc/self/cmdline (empty if that cannot be read). On
// Windows: GetCommandLineA's line as it is.
std::string GetCommandLine();

// CommandTailOf(GetCommandLine()): the song-file name as the user gave it.
std::string GetCommandTail();

}  // namespace opl2
