// opl2tool render on Windows: audio files are written through libsndfile
// (and rate conversion through libsoxr), which the Windows build lacks.
#include <cstdio>
#include <cstring>

#include "commands.h"

namespace opl2tool {

int RunRender(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::printf(
        "usage: opl2tool render SONG -o OUT ...\n\n"
        "Not in the Windows build: writing audio files needs libsndfile and libsoxr.\n"
        "'opl2tool vgm' exports the song's chip writes, and the Linux build renders them.\n");
    return 0;
  }
  std::fprintf(stderr,
               "opl2tool render: not in the Windows build (needs libsndfile and libsoxr)\n");
  return 2;
}

}  // namespace opl2tool
