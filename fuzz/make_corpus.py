#!/usr/bin/env python3
"""Writes the fuzz seed corpus into tests/corpus/<target>/.

Usage: fuzz/make_corpus.py OPL2TOOL
The song seeds are the project's songs, the examples assembled by OPL2TOOL,
generated songs of every event kind and hand-made damaged files; the source
seeds are the examples and the disassembly of every song seed; the key seeds
are what terminals send for keys; the VGM seeds are logs of some of the
songs and cut-off copies.
"""
import os
import random
import subprocess
import sys
import tempfile

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
CORPUS = os.path.join(ROOT, "tests", "corpus")


def song(tracks, patches=(), terminator=True):
    """The compact layout: header, tracks 0..8 end to end, bank."""
    out = bytearray(27)
    out[0] = 2
    bound = 26

    def put(off, v):
        out[off] = v & 0xFF
        out[off + 1] = (v >> 8) & 0xFF

    put(1, bound)
    for c in range(9):
        t = tracks[c] if c < len(tracks) else [0x80]
        out += bytes(t)
        bound += len(t)
        put(3 + 2 * c, bound)
    put(25, bound)
    for number, patch in patches:
        out.append(number)
        out += bytes(patch)
    if terminator:
        out.append(0)
    return bytes(out)


PATCH = [0x21, 0x21, 0x1A, 0x00, 0xF2, 0xF2, 0x45, 0x45, 0x0C]


def generated(rng):
    """A random but mostly well-formed song: every event kind appears."""
    tracks = []
    for _ in range(9):
        t = []
        if rng.random() < 0.5:
            t.append(0xF6)
        for _ in range(rng.randint(0, 30)):
            k = rng.randint(0, 12)
            note = rng.randint(0, 7) * 16 + rng.randint(0, 11)
            if k == 0:
                t += [0xFF, rng.randint(0, 3)]
            elif k == 1:
                t += [0xFD, rng.randint(0, 255)]
            elif k == 2:
                t += [0xFC, rng.randint(0, 255)]
            elif k == 3:
                t += [0xFB]
            elif k == 4:
                t += [0xFA, rng.randint(0, 255), rng.choice([0, 0, 0xFF])]
            elif k == 5:
                t += [0xF9, 0, 0, note, rng.randint(1, 8), 0xF8, rng.randint(0, 4), 0, 0, 0]
            elif k == 6:
                t += [0xDA, note, rng.randint(0, 7) * 16 + rng.randint(0, 11), rng.randint(1, 20)]
            elif k == 7:
                t += [0x0F, rng.randint(0, 10)]
            elif k == 8:
                t += [rng.choice([0xFE, 0xF1, 0xDF, 0xF2, 0xF3, 0xF4, 0x7F, 0x1C, 0xA0]), 0]
            else:
                t += [note, rng.randint(0, 12)]
        t.append(0x80)
        tracks.append(t)
    patches = [(n, [rng.randint(0, 255) for _ in range(9)]) for n in range(rng.randint(0, 4))]
    return song(tracks, patches)


def edge_cases():
    yield "empty", b""
    yield "format-only", b"\x02"
    yield "not-a-song", b"\x03" + bytes(40)
    yield "header-only", bytes([2]) + bytes(26)
    yield "header-cut", bytes([2, 0x1A, 0x00, 0x1B])
    yield "bounds-ff", bytes([2]) + b"\xff" * 26
    yield "bank-unterminated", song([[0x20, 4, 0x80]], [(1, PATCH)], terminator=False)
    yield "bank-record-cut", song([[0x80]], [(1, PATCH)], terminator=False)[:-4]
    yield "bank-patch0-first", song([[0xFF, 0, 0x20, 4, 0x80]], [(0, PATCH)])
    yield "row-never-closes", song([[0xF6, 0x80]] * 9)
    yield "loop-point-no-row", song([[0xF6, 0xF4, 0xFB, 0x80]])
    yield "loop-count-zero", song([[0xF9, 0, 0, 0x20, 1, 0xF8, 0, 0, 0, 0, 0x80]])
    yield "loop-end-unmatched", song([[0x20, 1, 0xF8, 3, 0, 0, 0, 0x80]])
    yield "loop-end-count-run", song([[0xF6] + [0xF8] * 40 + [0x20, 1, 0x80]])
    yield "loops-256-deep", song([[0xF9, 0, 0] * 256 + [0x20, 1, 0x80]])
    yield "loops-nested-heavy", song([[0xF6, 0xF9, 0, 0, 0xF9, 0, 0, 0xF4, 0xF8, 0xFF, 0, 0, 0,
                                       0xF8, 0xFF, 0, 0, 0, 0x20, 1, 0x80]] * 9)
    yield "length-zero", song([[0x20, 0, 0x80]])
    yield "empty-tracks", song([[]] * 9)
    yield "slide-up-down", song([[0xDA, 0x20, 0x74, 5, 0xDA, 0x74, 0x05, 5, 0x80]])
    yield "slide-invalid", song([[0xDA, 0x1C, 0x9F, 3, 0xDA, 0x20, 0xFF, 3, 0x80]])
    yield "slide-then-end", song([[0xDA, 0x00, 0x7B, 1, 0x80]])
    yield "detune-extreme", song([[0xFA, 0x00, 0x40, 0x7B, 4, 0xFA, 0x00, 0xC0, 0x00, 4, 0x80]])
    yield "volume-high", song([[0xFF, 1, 0xFD, 0xFF, 0x20, 2, 0xFD, 0x80, 0x80]], [(1, PATCH)])
    yield "tempo-255", song([[0xFC, 0xFF, 0xF6, 0x20, 1, 0x80], [0xFC, 0x00, 0x80]])
    yield "tie-rest-tie", song([[0xFB, 0x0F, 2, 0xFB, 0x1C, 0, 0x20, 2, 0x80]])
    yield "all-codes", song([list(range(256)) + [0x80]] * 3)
    # Bounds that overlap, run backwards, cover the header or leave the file.
    overlap = bytearray(song([[0x20, 4, 0x80]] * 9))
    overlap[7:9] = b"\xe8\x03"  # track_bound[3] = 1000
    overlap[9:11] = b"\xe7\x03"  # track_bound[4] = 999
    yield "bounds-backwards", bytes(overlap)
    far = bytearray(song([[0x20, 4, 0x80]] * 9))
    far[19:21] = b"\xff\xff"  # track_bound[9] = 65535
    yield "bounds-past-end", bytes(far)
    cover = bytearray(song([[0x80]] * 9))
    cover[1:3] = b"\xff\xff"  # track 0 from offset 0
    yield "track-covers-header", bytes(cover)
    buffer_end = [0xF4] * 65534 + [0x20]  # a note as the buffer's last byte
    yield "track-fills-buffer", song([buffer_end])


def main():
    tool = sys.argv[1]
    songs = {}
    data = os.path.join(ROOT, "tests", "data", "songs")
    for name in sorted(os.listdir(data)):
        with open(os.path.join(data, name), "rb") as f:
            songs[os.path.splitext(name)[0]] = f.read()
    examples = os.path.join(ROOT, "examples")
    sources = {}
    vgms = {}
    with tempfile.TemporaryDirectory() as tmp:
        for name in sorted(os.listdir(examples)):
            if not name.endswith(".opl2s"):
                continue
            stem = os.path.splitext(name)[0]
            with open(os.path.join(examples, name), "rb") as f:
                sources["example-" + stem] = f.read()
            out = os.path.join(tmp, stem + ".song")
            subprocess.run([tool, "asm", os.path.join(examples, name), "-o", out], check=True)
            with open(out, "rb") as f:
                songs["example-" + stem] = f.read()
        rng = random.Random(20261208)
        for i in range(40):
            songs["generated-%02d" % i] = generated(rng)
        for name, b in edge_cases():
            songs["edge-" + name] = b
        for name, b in songs.items():
            if len(b) > 8192:
                continue  # the text seeds stay small
            path = os.path.join(tmp, name + ".song")
            with open(path, "wb") as f:
                f.write(b)
            text = subprocess.run([tool, "disasm", path], check=True, capture_output=True).stdout
            sources["disasm-" + name] = text
        # VGM logs of a few songs, short ones so that the seeds stay small.
        for name in sorted(songs):
            if not (name.startswith("example-") or name.startswith("edge-")
                    or name in ("every_event", "damaged", "generated-00", "generated-01")):
                continue
            path = os.path.join(tmp, name + ".song")
            out = os.path.join(tmp, name + ".vgm")
            with open(path, "wb") as f:
                f.write(songs[name])
            r = subprocess.run([tool, "vgm", path, "-o", out, "--seconds", "2", "--loops", "1",
                                "--title", name], capture_output=True)
            if r.returncode == 0 and os.path.getsize(out) <= 8192:
                with open(out, "rb") as f:
                    vgms["vgm-" + name] = f.read()
        some = vgms.get("vgm-example-minuet") or next(iter(vgms.values()))
        vgms["cut-header"] = some[:40]
        vgms["cut-data"] = some[: len(some) // 2]
        vgms["empty"] = b""

    keys = {
        "letters": b"aZ1!", "enter-tab-bs": b"\r\t\x7f\x08", "ctrl": bytes(range(0, 32)),
        "esc-alone": b"\x1b", "alt-x": b"\x1bx", "csi-up": b"\x1b[A", "ss3-f1": b"\x1bOP",
        "f5": b"\x1b[15~", "f12-ctrl": b"\x1b[24;5~", "shift-tab": b"\x1b[Z",
        "home-rxvt": b"\x1b[7~", "linux-f1": b"\x1b[[A", "mod-up": b"\x1b[1;8A",
        "focus": b"\x1b[I\x1b[O", "utf8": "éß€".encode(), "bad-utf8": b"\xc3\x28\xff\xfe",
        "long-csi": b"\x1b[" + b"1;" * 200 + b"A", "esc-esc": b"\x1b\x1b[A",
        "osc": b"\x1b]0;title\x07x", "keypad": b"\x1bOE\x1b[E",
    }

    def write(target, items):
        d = os.path.join(CORPUS, target)
        os.makedirs(d, exist_ok=True)
        for name, b in items.items():
            with open(os.path.join(d, name), "wb") as f:
                f.write(b)

    write("fuzz_song", songs)
    write("fuzz_disasm", {k: v for k, v in songs.items() if len(v) <= 8192})
    write("fuzz_asm", sources)
    write("fuzz_keys", keys)
    write("fuzz_vgm", vgms)


if __name__ == "__main__":
    main()
