#!/usr/bin/env python3
"""The Windows programs checked from outside, under Wine.

  tools    opl2tool.exe gives the Linux opl2tool's bytes: traces of the example
           songs and of every generated and damaged song of the song corpus,
           asm, disasm, info, info --json, vgm, vgz and chip renders;
  command  opl2play.exe's command tail, existence check, messages and exit
           status, started with exact command lines by the launcher;
  console  the Win32 console in a real terminal (tmux): the key codes of
           opl2tool.exe keys, a key and Ctrl+C ending playback, the
           missing-file message;
  timer    X68Sound.dll's tick count, drift and lateness over 10 s;
  sound    opl2play.exe through Wine's audio driver into a PulseAudio null
           sink, recorded from its monitor and found in the Linux render.

scripts/test-windows sets up Wine (WINEPREFIX, WINEDEBUG, DISPLAY) and runs
this. Wine's own messages on standard error are never compared byte for byte.
"""

import argparse
import array
import os
import shlex
import subprocess
import sys
import tempfile
import time
import wave
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
MISSING = b"does not exist, mister.\r\n"

# Keys sent by tmux and the code the reader gives for each (the player's
# key scheme: -scan code for keys without a character, -1000-scan with Alt,
# -2000-scan with Ctrl, virtual-key code + 1000 for Alt with a character,
# 15 for Shift+Tab, the character otherwise).
KEY_CODES = [
    ("F1", -59), ("S-F1", -59), ("C-F1", -2059), ("M-F1", -1059), ("F5", -63),
    ("C-F12", -2088), ("Up", -72), ("Down", -80), ("Left", -75), ("Right", -77),
    ("PageUp", -73), ("PageDown", -81), ("Insert", -82), ("Delete", -83),
    ("M-x", 1088), ("M-a", 1065), ("Enter", 13), ("Tab", 9), ("BTab", 15),
    ("a", 97), ("A", 65), ("1", 49), ("!", 33), ("C-a", 1), ("Escape", 27),
]


def windows_path(path):
    """A Unix path as Wine's Z: drive shows it."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


class Checks:
    def __init__(self, args):
        self.wine = args.wine
        self.win_bin = Path(args.win_bin).resolve()
        self.linux_bin = Path(args.linux_bin).resolve()
        self.work = Path(args.work).resolve()
        self.work.mkdir(parents=True, exist_ok=True)
        self.failed = []

    def report(self, name, ok, detail):
        print(f"windows: {name}: {'ok' if ok else 'FAILED'}: {detail}", flush=True)
        if not ok:
            self.failed.append(name)

    def win(self, program, *args, env=None, timeout=120):
        return subprocess.run([self.wine, str(self.win_bin / program), *map(str, args)],
                              capture_output=True, stdin=subprocess.DEVNULL,
                              env=env, timeout=timeout)

    def linux(self, program, *args):
        return subprocess.run([str(self.linux_bin / program), *map(str, args)],
                              capture_output=True, stdin=subprocess.DEVNULL, timeout=120)

    # ------------------------------------------------------------------ tools
    def example(self, name):
        """The example song `name`, assembled by the Linux opl2tool."""
        song = self.work / (name + ".song")
        if not song.exists():
            self.linux("opl2tool", "asm", ROOT / "examples" / (name + ".opl2s"), "-o", song)
        return song

    def songs(self):
        songs = [self.example(s.stem) for s in sorted((ROOT / "examples").glob("*.opl2s"))]
        songs += sorted((ROOT / "tests" / "data" / "songs").glob("*.song"))
        songs += sorted((ROOT / "tests" / "corpus" / "fuzz_song").iterdir())
        return songs

    def same(self, what, args, out_file=None):
        """Runs opl2tool with `args` on both systems; equal status, output and file."""
        win_args = list(args)
        lin_args = list(args)
        if out_file is not None:
            win_args += ["-o", self.work / ("win-" + out_file)]
            lin_args += ["-o", self.work / ("lin-" + out_file)]
        w = self.win("opl2tool.exe", *win_args)
        lin = self.linux("opl2tool", *lin_args)
        if w.returncode != lin.returncode or w.stdout != lin.stdout:
            return f"{what}: status {w.returncode} vs {lin.returncode}, " \
                   f"{len(w.stdout)} vs {len(lin.stdout)} bytes of output"
        if out_file is not None:
            win_bytes = (self.work / ("win-" + out_file)).read_bytes()
            lin_bytes = (self.work / ("lin-" + out_file)).read_bytes()
            if win_bytes != lin_bytes:
                return f"{what}: the files differ ({len(win_bytes)} vs {len(lin_bytes)} bytes)"
        return None

    def check_tools(self):
        songs = self.songs()
        differ = [d for s in songs if (d := self.same(f"trace {s.name}", ["trace", s]))]
        self.report("trace", not differ,
                    f"{len(songs) - len(differ)} of {len(songs)} songs trace alike"
                    + (f"; {differ[:3]}" if differ else ""))

        sample = songs[:3] + songs[3::8]
        differ = []
        for s in sample:
            for args in (["disasm", s], ["info", s], ["info", s, "--json"]):
                differ += filter(None, [self.same(" ".join(map(str, args[:1] + args[2:]))
                                                  + " " + s.name, args)])
            differ += filter(None, [self.same(f"vgm {s.name}", ["vgm", s], "out.vgm")])
            differ += filter(None, [self.same(f"vgz {s.name}", ["vgm", s], "out.vgz")])
            text = self.work / "src.opl2s"
            text.write_bytes(self.linux("opl2tool", "disasm", s).stdout)
            differ += filter(None, [self.same(f"asm of {s.name}", ["asm", text], "out.song")])
        for regs in sorted((ROOT / "tests" / "data" / "opl2-reference").glob("*.regs"))[:4]:
            differ += filter(None, [self.same(f"chip {regs.name}", ["chip", regs], "out.s16")])
        self.report("disasm, info, vgm, asm, chip", not differ,
                    f"{len(sample)} songs and 4 register streams alike"
                    + (f"; {differ[:3]}" if differ else ""))

        missing = self.win("opl2tool.exe", "trace", self.work / "no-such.song")
        render = self.win("opl2tool.exe", "render", songs[0], "-o", self.work / "x.wav")
        play = self.win("opl2tool.exe", "play", songs[0])
        # An output that is an input, named another way (the Z: drive and
        # backslashes against the Unix path), is the same file: refused, and
        # the song keeps its bytes.
        victim = self.work / "victim.song"
        victim.write_bytes(songs[0].read_bytes())
        over = self.win("opl2tool.exe", "vgm", victim, "-o", windows_path(victim))
        kept = victim.read_bytes() == songs[0].read_bytes()
        # A source written part by part replaces the file that was there.
        old = self.work / "old.opl2s"
        old.write_bytes(b"old")
        disasm = self.win("opl2tool.exe", "disasm", songs[0], "-o", old)
        replaced = disasm.returncode == 0 and \
            old.read_bytes() == self.linux("opl2tool", "disasm", songs[0]).stdout
        ok = (missing.returncode == 1 and b"Can't open file" in missing.stderr
              and render.returncode == 2 and b"not in the Windows build" in render.stderr
              and play.returncode == 2 and b"not in the Windows build" in play.stderr
              and over.returncode == 1 and b"(the same file)" in over.stderr and kept
              and replaced)
        self.report("tool refusals", ok,
                    f"missing song: status {missing.returncode}; render: status "
                    f"{render.returncode}; play: status {play.returncode}; output over its "
                    f"input: status {over.returncode}, song kept: {kept}; disasm -o over a "
                    f"file: {'replaced' if replaced else 'NOT replaced'}")

    # ---------------------------------------------------------------- command
    def launch(self, line, env=None):
        """opl2play.exe started with `line` (bytes) as its exact command line."""
        line_file = self.work / "line.txt"
        line_file.write_bytes(line)
        return self.win("launch.exe", windows_path(self.win_bin / "opl2play.exe"),
                        windows_path(line_file), env=env, timeout=60)

    def check_command(self):
        song = self.example("demo")
        folder = windows_path(self.work)
        exe = b"opl2play.exe"
        cases = [
            ("no name", exe, MISSING),
            ("blanks kept inside", exe + b" missing name.song", b"missing name.song" + MISSING),
            ("quotes kept", exe + b' "quoted.song"', b'"quoted.song"' + MISSING),
            ("leading white space dropped, trailing kept", exe + b" \t  lead.song  ",
             b"lead.song  " + MISSING),
            ("quoted program name", b'"C:\\Program Files\\x\\opl2play.exe" tail.song',
             b"tail.song" + MISSING),
            ("a tab does not end the program name", exe + b"\tname.song", MISSING),
            ("a last character 20 drops the name", exe + b" name.song\x14", MISSING),
            ("pattern that matches nothing", exe + b" " + folder.encode() + b"\\*.nothing",
             folder.encode() + b"\\*.nothing" + MISSING),
        ]
        bad = []
        for what, line, expected in cases:
            r = self.launch(line)
            if r.returncode != 0 or r.stdout != expected:
                bad.append(f"{what}: status {r.returncode}, output {r.stdout!r}")

        refusals = [
            ("pattern that matches a song", f"{folder}\\*.song", None),
            ("a folder", folder, None),
            ("hardware port", windows_path(song), {"OPL2PLAY_PORT": "hardware"}),
        ]
        for what, name, extra in refusals:
            env = dict(os.environ, **extra) if extra else None
            r = self.launch(exe + b" " + name.encode(), env=env)
            wanted = b"port driver" if extra else b"Can't open file " + name.encode() + b"\n"
            if r.returncode != 1 or r.stdout != b"" or wanted not in r.stderr.replace(b"\r", b""):
                bad.append(f"{what}: status {r.returncode}, error {r.stderr[-120:]!r}")
        self.report("command tail and refusals", not bad,
                    f"{len(cases) + len(refusals) - len(bad)} of {len(cases) + len(refusals)}"
                    " command lines" + (f"; {bad}" if bad else ""))

    # ---------------------------------------------------------------- console
    def tmux(self, *args):
        return subprocess.run(["tmux", "-L", "opl2-wine-checks", *args],
                              capture_output=True, text=True)

    def in_terminal(self, command, session):
        """Starts `command` (a shell line) in a terminal of its own; its exit
        status goes to a file."""
        status = self.work / f"{session}.status"
        status.unlink(missing_ok=True)
        # The terminal sends Ctrl+C to the shell as well: it outlives it.
        wrapped = f"trap : INT; {command}; echo $? > {shlex.quote(str(status))}; sleep 600"
        self.tmux("new-session", "-d", "-s", session, "-x", "100", "-y", "20",
                  "env " + " ".join(f"{k}={shlex.quote(v)}" for k, v in self.wine_env().items())
                  + " sh -c " + shlex.quote(wrapped))
        return status

    def wine_env(self):
        keys = ("WINEPREFIX", "WINEDEBUG", "WINELOADER", "WINEARCH", "WINEDLLOVERRIDES", "PULSE_SERVER",
                "PULSE_RUNTIME_PATH", "PULSE_SINK")
        return {k: os.environ[k] for k in keys if k in os.environ} | {"DISPLAY": ""}

    def wait_for(self, predicate, seconds):
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            if predicate():
                return True
            time.sleep(0.1)
        return False

    def pane(self, session):
        return self.tmux("capture-pane", "-p", "-t", session).stdout

    def exit_status(self, status_file, seconds):
        if not self.wait_for(status_file.exists, seconds):
            return None
        time.sleep(0.1)
        return int(status_file.read_text().strip() or "-1")

    def wine_line(self, program, *args):
        return " ".join(shlex.quote(str(a)) for a in
                        [self.wine, self.win_bin / program, *args])

    def check_console(self):
        try:
            self.console_keys()
            self.console_player()
        finally:
            self.tmux("kill-server")

    def console_keys(self):
        out = self.work / "keys.txt"
        status = self.in_terminal(self.wine_line("opl2tool.exe", "keys") + f" > {out}", "keys")
        started = self.wait_for(lambda: "Press keys" in self.pane("keys"), 60)
        lines = lambda: len(out.read_text().split()) if out.exists() else 0
        for n, (key, _) in enumerate(KEY_CODES):
            # One key at a time: a key that counts discards whatever was typed
            # ahead of it, so the next one waits until this one is printed.
            self.tmux("send-keys", "-t", "keys", key)
            self.wait_for(lambda: lines() > n, 10)
        code = self.exit_status(status, 20)
        got = out.read_text().split() if out.exists() else []
        wanted = [str(c) for _, c in KEY_CODES]
        self.report("key codes", started and code == 0 and got == wanted,
                    f"{sum(g == w for g, w in zip(got, wanted))} of {len(wanted)} keys "
                    f"({' '.join(k for k, _ in KEY_CODES)})"
                    + ("" if got == wanted else f"; got {got}"))

    def console_player(self):
        missing = self.in_terminal(self.wine_line("opl2play.exe", "no-such.song"), "missing")
        code = self.exit_status(missing, 60)
        shown = "no-such.songdoes not exist, mister." in self.pane("missing")
        self.report("missing-file message in a console", code == 0 and shown,
                    f"status {code}, message {'shown' if shown else 'not shown'}")

        song = self.example("demo")
        # Wine's console takes Ctrl+C as the terminal's interrupt key even in
        # input mode 0: it reaches the player as a control event, never as the
        # character 3.
        for what, key, stdin in (("a key", "x", ""), ("Ctrl+C", "C-c", ""),
                                 ("Ctrl+C with no console input", "C-c", " < /dev/null")):
            session = "play" + str(len(what))
            status = self.in_terminal(self.wine_line("opl2play.exe", song) + stdin, session)
            time.sleep(6)  # Wine starts and the song plays
            running = not status.exists()
            sent = time.monotonic()
            self.tmux("send-keys", "-t", session, key)
            code = self.exit_status(status, 20)
            took = time.monotonic() - sent
            self.report(f"{what} ends playback", running and code == 0,
                        f"status {code}, {took:.2f} s from the key to the end"
                        + ("" if running else " (it ended before the key)"))

    # ------------------------------------------------------------------ timer
    def check_timer(self):
        r = self.win("timer_drift.exe", "10", "180", timeout=60)
        text = r.stdout.decode(errors="replace").strip().replace("\r", "")
        self.report("timer library", r.returncode == 0, text)

    # ------------------------------------------------------------------ sound
    def check_sound(self):
        pulse = Path(tempfile.mkdtemp(prefix="opl2-wine-pulse-", dir=self.work))
        env = dict(os.environ, PULSE_RUNTIME_PATH=str(pulse), PULSE_STATE_PATH=str(pulse),
                   PULSE_SERVER=f"unix:{pulse}/native")
        started = subprocess.run(
            ["pulseaudio", "-D", "-n", "--exit-idle-time=-1", "--use-pid-file=true",
             "--load=module-null-sink sink_name=opl2sink rate=49716 channels=1 format=s16le",
             "--load=module-native-protocol-unix"], env=env, capture_output=True)
        if started.returncode != 0 or not self.wait_for(
                lambda: subprocess.run(["pactl", "info"], env=env,
                                       capture_output=True).returncode == 0, 10):
            self.report("sound", False, "no PulseAudio server: " + started.stderr.decode()[-200:])
            return
        fmt = ["--rate=49716", "--channels=1", "--format=s16le", "--latency-msec=20"]
        recording = self.work / "recording.raw"
        # Something always plays into the sink, so it pulls samples steadily.
        keep_alive = subprocess.Popen(["pacat", "--device=opl2sink", *fmt],
                                      stdin=subprocess.DEVNULL, env=env)
        with open(recording, "wb") as out:
            recorder = subprocess.Popen(["parec", "--device=opl2sink.monitor", *fmt],
                                        stdout=out, env=env)
        song = self.example("demo")
        try:
            time.sleep(2)
            os.environ.update(PULSE_SERVER=env["PULSE_SERVER"],
                              PULSE_RUNTIME_PATH=str(pulse), PULSE_SINK="opl2sink")
            status = self.in_terminal(self.wine_line("opl2play.exe", song) + " 2> "
                                      + shlex.quote(str(self.work / "play.err")), "sound")
            time.sleep(10)
            self.tmux("send-keys", "-t", "sound", "x")
            code = self.exit_status(status, 20)
            time.sleep(0.5)
        finally:
            for name in ("PULSE_SERVER", "PULSE_RUNTIME_PATH", "PULSE_SINK"):
                os.environ.pop(name, None)
            self.tmux("kill-server")
            recorder.terminate()
            keep_alive.terminate()
            recorder.wait()
            keep_alive.wait()
            subprocess.run(["pactl", "exit"], env=env, capture_output=True)
        render = self.work / "render.wav"
        self.linux("opl2tool", "render", song, "-o", render, "--rate", "native",
                   "--seconds", "40")
        with wave.open(str(render)) as w:
            rendered = array.array("h", w.readframes(w.getnframes()))
        recorded = array.array("h", recording.read_bytes()[: recording.stat().st_size // 2 * 2])
        found, windows = place_windows(recorded, rendered)
        errors = (self.work / "play.err").read_text(errors="replace")
        device = "no audio device" not in errors
        self.report("sound through Wine's audio driver",
                    code == 0 and device and windows >= 20 and found * 10 >= windows * 8,
                    f"status {code}; recorded {len(recorded) / 49716:.1f} s; 100 ms windows with "
                    f"sound found sample for sample in the render: {found} of {windows}"
                    + ("" if device else "; the player found no audio device"))


def place_windows(recorded, rendered, window=4972, key=32):
    """How many 100 ms windows of `recorded` that hold sound appear, sample for
    sample, somewhere in `rendered`: the sound server may drop the first
    milliseconds or the last buffer, so each window is placed on its own."""
    where = {}
    for i in range(len(rendered) - key):
        where.setdefault(rendered[i:i + key].tobytes(), []).append(i)
    found = windows = 0
    for a in range(0, len(recorded) - window, window):
        part = recorded[a:a + window]
        if not any(part):
            continue
        windows += 1
        for b in where.get(part[:key].tobytes(), []):
            if rendered[b:b + window] == part:
                found += 1
                break
    return found, windows


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--wine", required=True, help="the wine loader to run programs with")
    parser.add_argument("--win-bin", required=True, help="folder of the Windows programs")
    parser.add_argument("--linux-bin", required=True, help="folder of the Linux programs")
    parser.add_argument("--work", required=True, help="a folder for files the checks make")
    parser.add_argument("checks", nargs="*",
                        default=["tools", "command", "console", "timer", "sound"])
    args = parser.parse_args()
    checks = Checks(args)
    for name in args.checks:
        start = time.monotonic()
        getattr(checks, "check_" + name)()
        print(f"windows: {name} checks took {time.monotonic() - start:.0f} s", flush=True)
    if checks.failed:
        print(f"windows: FAILED: {', '.join(checks.failed)}")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
