// What the player's run does its own way on each system: how a stop request
// (Ctrl+C and the like) reaches the key wait, what becomes of the keys typed
// while the song plays, and how the process ends.
#pragma once

namespace opl2 {

// From here the first stop request ends playback through the normal
// shutdown (the key wait returns kKeyWaitStopped) and a second one ends the
// process at once.
void InstallStopHandlers();

// From here keys typed wait, unechoed, for the key reader.
void HoldKeysForTheKeyReader();

// Ends the process with `status`, the terminal as it was found and the
// output flushed.
[[noreturn]] void EndProcess(int status);

}  // namespace opl2
