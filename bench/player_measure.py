#!/usr/bin/env python3
"""Measures opl2play as a user hears it: CPU while playing, the time from the
key press to the key-off in the sound and to the end of the process, and the
underruns of a long run.

The player runs on a pseudo-terminal with SDL's disk audio driver, which
writes what the device plays to a file at the pace of a real device. The
file is compared with `opl2tool render` of the same song: it must be the
render, sample for sample, up to the key-off. Where it leaves the render
before the key, the player fell behind the device (an underrun: its time
line jumped ahead, and the chip's counters no longer run as in the render,
so the rest is not compared). bench_live counts underruns from inside.
Usage:

    bench/player_measure.py [--build DIR] [--song SONG] [--seconds S] [--runs N]

Defaults: build, a busy test song, 10 s, 5 runs.
"""
import argparse
import os
import pty
import struct
import subprocess
import sys
import tempfile
import time

RATE = 49716
WINDOW = 4972  # 100 ms


def busy_song(path):
    """Channel 0 holds a note for ever (so a key-off shows at once); channels
    1..8 play notes, rests and slides."""
    tracks = [bytes([0xFC, 180, 0xFF, 0x02, 0x40, 0xFF, 0xF6, 0xFB, 0x40, 0xFF, 0x80])]
    for c in range(1, 9):
        tracks.append(bytes([0xFF, 0x01, 0xF6, 0xFD, 0x60 + 4 * c, 0x30 + c, 0x03, 0x0F, 0x02,
                             0xDA, 0x34, 0x47, 0x05, 0x80]))
    header = bytearray(27)
    header[0] = 2
    bound = 26
    header[1:3] = struct.pack("<H", bound)
    for c, t in enumerate(tracks):
        bound += len(t)
        header[3 + 2 * c:5 + 2 * c] = struct.pack("<H", bound)
    header[25:27] = struct.pack("<H", bound)
    bank = bytes([1, 0x21, 0x21, 0x1A, 0x00, 0xF2, 0xF2, 0x45, 0x45, 0x0C,
                  2, 0x21, 0x21, 0x10, 0x00, 0xF0, 0xF0, 0x0F, 0x0F, 0x00, 0])
    with open(path, "wb") as f:
        f.write(bytes(header) + b"".join(tracks) + bank)


def render(build, song, seconds, out):
    subprocess.run([os.path.join(build, "bin", "opl2tool"), "render", song, "-o", out,
                    "--rate", "native", "--seconds", str(seconds), "--loops", "1000000"],
                   check=True, stdout=subprocess.DEVNULL)
    with open(out, "rb") as f:
        data = f.read()
    return data[data.index(b"data") + 8:]


def cpu_seconds(pid):
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def play(build, song, seconds, capture):
    """Plays `seconds`, presses a key; returns what was measured."""
    pid, fd = pty.fork()
    if pid == 0:
        os.environ["SDL_AUDIODRIVER"] = "disk"
        os.environ["SDL_DISKAUDIOFILE"] = capture
        player = os.path.join(build, "bin", "opl2play")
        os.execv(player, [player, song])
    sizes = []  # (time, samples in the file)

    def poll():
        try:
            n = os.path.getsize(capture) // 2
        except OSError:
            return
        if not sizes or sizes[-1][1] != n:
            sizes.append((time.monotonic(), n))

    time.sleep(0.5)
    cpu0, wall0 = cpu_seconds(pid), time.monotonic()
    end = wall0 + seconds
    while time.monotonic() < end:
        poll()
        time.sleep(0.0005)
    cpu1, wall1 = cpu_seconds(pid), time.monotonic()
    pressed = time.monotonic()
    os.write(fd, b"x")
    while True:
        poll()
        done, status = os.waitpid(pid, os.WNOHANG)
        if done:
            break
        time.sleep(0.0002)
    exited = time.monotonic()
    os.close(fd)
    at_key = -1.0
    for (ta, sa), (tb, sb) in zip(sizes, sizes[1:]):
        if tb > pressed:
            at_key = sa + (pressed - ta) / (tb - ta) * (sb - sa)
            break
    return {
        "cpu": 100.0 * (cpu1 - cpu0) / (wall1 - wall0),
        "key_to_exit_ms": 1000.0 * (exited - pressed),
        "status": os.waitstatus_to_exitcode(status),
        "at_key": at_key,
    }


def compare(played, rendered):
    """The capture's first sample that differs from the render, both lined
    up at their first sound; None when the capture holds no sound."""
    first = next((i for i in range(0, len(played), 2) if played[i:i + 2] != b"\0\0"), None)
    start = next((i for i in range(0, len(rendered), 2) if rendered[i:i + 2] != b"\0\0"), None)
    if first is None or start is None:
        return None
    shift = start - first
    pos = first
    window = 2 * WINDOW
    while (pos + window <= len(played) and
           rendered[pos + shift:pos + shift + window] == played[pos:pos + window]):
        pos += window
    while pos + 2 <= len(played) and played[pos:pos + 2] == rendered[pos + shift:pos + shift + 2]:
        pos += 2
    return pos // 2


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default="build")
    parser.add_argument("--song")
    parser.add_argument("--seconds", type=float, default=10.0)
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()

    work = tempfile.mkdtemp(prefix="opl2-measure-")
    song = args.song or os.path.join(work, "busy.song")
    if not args.song:
        busy_song(song)
    print("rendering %.0f s of %s ..." % (args.seconds + 10, song), file=sys.stderr)
    rendered = render(args.build, song, args.seconds + 10, os.path.join(work, "render.wav"))
    capture = os.path.join(work, "out.raw")
    key_to_sound = []
    for run in range(args.runs):
        load = os.getloadavg()[0]
        m = play(args.build, song, args.seconds, capture)
        with open(capture, "rb") as f:
            played = f.read()
        differs = compare(played, rendered)
        tail = len(played) // 2
        while tail > 0 and played[2 * tail - 2:2 * tail] == b"\0\0":
            tail -= 1
        sound_ms = None if differs is None else 1000.0 * (differs - m["at_key"]) / RATE
        if sound_ms is not None and sound_ms > -10:
            key_to_sound.append(sound_ms)
            sound = "key to sound %.1f ms" % sound_ms
        elif sound_ms is None:
            sound = "no sound"
        else:
            sound = "left the render %.2f s before the key (an underrun)" % (-sound_ms / 1000)
        print("run %d: load %.1f, CPU %.1f %% of a core, %s, key to exit %.1f ms, status %d, "
              "%.1f s played, %d zero samples at the end"
              % (run + 1, load, m["cpu"], sound, m["key_to_exit_ms"], m["status"],
                 len(played) / 2 / RATE, len(played) // 2 - tail))
        os.unlink(capture)
    if key_to_sound:
        key_to_sound.sort()
        print("key to sound: min %.1f, median %.1f, max %.1f ms over %d runs"
              % (key_to_sound[0], key_to_sound[len(key_to_sound) // 2], key_to_sound[-1],
                 len(key_to_sound)))


if __name__ == "__main__":
    main()
