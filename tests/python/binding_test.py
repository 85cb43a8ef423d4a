"""The Python binding against opl2tool render, which reads the same songs
through its own code: what Python reads at the chip's rate must be the tool's
samples exactly (at other rates, to the last bit of rounding).
Needs OPL2PLAY_LIBRARY (the built libopl2play.so.0), OPL2TOOL and
OPL2_EXAMPLES (the folder of the built example songs)."""

import array
import os
import subprocess
import sys
import tempfile
import unittest
import wave

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "python"))
import opl2play  # noqa: E402

EXAMPLES = os.environ["OPL2_EXAMPLES"]
SONGS = sorted(os.path.join(EXAMPLES, n) for n in os.listdir(EXAMPLES) if n.endswith(".song"))


def tool_render(song, *options):
    with tempfile.TemporaryDirectory() as folder:
        out = os.path.join(folder, "out.wav")
        subprocess.run([os.environ["OPL2TOOL"], "render", song, "-o", out, *options], check=True)
        with wave.open(out, "rb") as w:
            return w.getframerate(), w.readframes(w.getnframes())


class Binding(unittest.TestCase):
    def test_reads_are_the_tools_render_at_both_rates(self):
        self.assertGreaterEqual(len(SONGS), 3)
        for path in SONGS:
            for rate, option in ((0, "native"), (44100, "44100")):
                with self.subTest(song=path, rate=option):
                    tool_rate, expected = tool_render(path, "--rate", option, "--loops", "1",
                                                      "--fade", "2")
                    with opl2play.Song.open(path, sample_rate=rate, loops=1,
                                            fade_seconds=2.0) as song:
                        self.assertEqual(round(song.sample_rate), tool_rate)
                        got = bytearray()
                        while True:
                            chunk = song.read(3000)
                            if not chunk:
                                break
                            got += chunk.tobytes()
                        self.assertEqual(round(song.duration * song.sample_rate), len(got) // 2)
                    self.assertGreater(len(expected), tool_rate * 2)
                    if rate == 0:
                        self.assertEqual(bytes(got), expected)
                    else:
                        # The same converter; the tool's file writer rounds its
                        # output to 16 bits on its own.
                        self.assertEqual(len(got), len(expected))
                        ours, theirs = array.array("h", got), array.array("h", expected)
                        self.assertLessEqual(max(abs(a - b) for a, b in zip(ours, theirs)), 1)

    def test_seek_lands_where_an_uninterrupted_read_is(self):
        with opl2play.Song.open(SONGS[0], sample_rate=0) as song:
            whole = song.read(10 * 49716)
            song.seek(3.0)
            self.assertAlmostEqual(song.position, 3.0, delta=1 / 49716)
            at = round(3.0 * opl2play.NATIVE_RATE)
            self.assertEqual(song.read(5000), whole[at:at + 5000])
            with self.assertRaises(ValueError):
                song.seek(song.duration + 1)
            with self.assertRaises(ValueError):
                song.seek(-1)
        with self.assertRaises(ValueError):
            song.read(1)

    def test_channel_views_keep_the_c_layout(self):
        # A wrong field layout would break the pitch formula of the header.
        with opl2play.Song.open(SONGS[0], sample_rate=0) as song:
            song.set_meters(True)
            song.mute(1)
            sounding = 0
            for _ in range(20):
                song.read(4096)
                for ch, v in enumerate(song.channel_views()):
                    self.assertEqual(v.muted, 1 if ch == 1 else 0)
                    self.assertTrue(0 <= v.block <= 7 and 0 <= v.fnum <= 1023)
                    self.assertTrue(0 <= v.level <= 32767)
                    if v.key_on:
                        sounding += 1
                        want = v.fnum * opl2play.NATIVE_RATE / 2 ** (20 - v.block)
                        self.assertAlmostEqual(v.frequency, want, delta=want * 1e-6 + 1e-9)
            self.assertGreater(sounding, 0)

    def test_bytes_that_are_not_a_song_are_refused_with_a_reason(self):
        with self.assertRaises(opl2play.Error) as e:
            opl2play.Song(b"this is not a song")
        self.assertTrue(str(e.exception))
        self.assertTrue(opl2play.version().startswith("opl2play "))


if __name__ == "__main__":
    unittest.main(verbosity=2)
