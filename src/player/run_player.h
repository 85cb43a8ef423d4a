// The player's whole run: the song named on the command line, played from
// start-up to the key that ends it.
#pragma once

namespace opl2 {

// Never returns: ends the process with status 0 after playback or for a
// name that does not exist, 1 when the song cannot be opened (or the real
// chip's ports are refused).
[[noreturn]] void RunPlayer();

}  // namespace opl2
