// The existence check the player makes before it loads a song
// (file_exists.cpp on POSIX, file_exists_win32.cpp on Windows).
#pragma once

namespace opl2 {

// 1 when `name` names something on disk, else 0.
//  - A name with a "*" or a "?" is a pattern: 1 when it matches at least one
//    directory entry (glob(3)). Only "*" and "?" are wildcards; "[", "]" and
//    backslashes are plain characters, and a "*" matches names that begin
//    with a dot as well.
//  - Any other name: 1 when lstat(2) finds the entry. Any kind of entry
//    counts: a directory, a device, a file we may not read, and a symbolic
//    link even when its target is missing (the link itself is an entry; the
//    loader's open then fails and reports it). Access rights are not looked at.
//  - An empty name, a null pointer and a name of 2,048 characters or more
//    (too long for the song-file name buffer) give 0.
// On Windows: a pattern is searched for with FindFirstFileA (1 when it finds
// an entry, its search closed at once), any other name asked for with
// GetFileAttributesA (1 unless that fails); any entry counts, a folder too.
int FileExists(const char* name);

}  // namespace opl2
