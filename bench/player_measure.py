#!/usr/bin/env python3
"""Measures opl2play as a user hears it: CPU while playing, and the time from
the key press to silence at the sound output.

The player runs on a pseudo-terminal with SDL's disk audio driver, which
writes the sound to a file at the pace of a real device. Usage:

    bench/player_measure.py [BUILD_DIR] [SONG] [SECONDS]
"""
import os
import pty
import struct
import sys
import time

RATE = 49716


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    song = sys.argv[2] if len(sys.argv) > 2 else "tests/data/songs/every_event.song"
    seconds = float(sys.argv[3]) if len(sys.argv) > 3 else 10.0
    out = "/tmp/opl2-measure-%d.raw" % os.getpid()
    player = os.path.join(build, "bin", "opl2play")

    pid, fd = pty.fork()
    if pid == 0:
        os.environ["SDL_AUDIODRIVER"] = "disk"
        os.environ["SDL_DISKAUDIOFILE"] = out
        os.execv(player, [player, song])
    ticks = os.sysconf("SC_CLK_TCK")
    time.sleep(1.0)

    def cpu_seconds():
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / ticks

    cpu0, wall0 = cpu_seconds(), time.monotonic()
    time.sleep(seconds)
    cpu1, wall1 = cpu_seconds(), time.monotonic()
    played_at_key = os.path.getsize(out) // 2
    pressed = time.monotonic()
    os.write(fd, b"x")
    _, status = os.waitpid(pid, 0)
    exited = time.monotonic()

    data = open(out, "rb").read()
    os.unlink(out)
    samples = struct.unpack("<%dh" % (len(data) // 2), data)
    last = len(samples)
    while last > 0 and samples[last - 1] == 0:
        last -= 1
    print("CPU while playing: %.2f %% of one core over %.1f s"
          % (100.0 * (cpu1 - cpu0) / (wall1 - wall0), wall1 - wall0))
    print("key to silence at the output: %.1f ms (release included)"
          % (1000.0 * (last - played_at_key) / RATE))
    print("key to exit: %.1f ms; exit status %d"
          % (1000.0 * (exited - pressed), os.WEXITSTATUS(status)))


if __name__ == "__main__":
    main()
