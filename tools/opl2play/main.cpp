// opl2play SONG: plays one song on the OPL2 until a key is pressed.
#include "player/command_tail.h"
#include "player/run_player.h"

int main(int argc, char** argv) {
  opl2::SetCommandLine(argc, argv);
  opl2::RunPlayer();
}
