"""Songs for the OPL2 (YM3812) chip, played on libopl2play's emulated chip and
read as mono samples, with exact seeking: a small ctypes layer over the C API
(include/opl2play/opl2play.h), nothing to build.

    import opl2play
    with opl2play.Song.open("demo.song", sample_rate=0) as song:
        samples = song.read(4096)      # array('h'), mono
        song.seek(10.0)

The library is found through OPL2PLAY_LIBRARY (a path), else as
libopl2play.so.0 on the system's library path.
"""

import array
import ctypes
import ctypes.util
import os

__all__ = ["Error", "ChannelView", "Song", "version", "NATIVE_RATE", "CHANNELS"]

NATIVE_RATE = 3579545.0 / 72.0
CHANNELS = 9


class Error(Exception):
    """A song that cannot be opened, or a library that cannot be loaded."""


class _Settings(ctypes.Structure):
    _fields_ = [("sample_rate", ctypes.c_int), ("loops", ctypes.c_int),
                ("fade_seconds", ctypes.c_double), ("max_seconds", ctypes.c_double)]


class ChannelView(ctypes.Structure):
    """What a visualiser shows of one channel (see opl2_channel_view)."""
    _fields_ = [("key_on", ctypes.c_int), ("block", ctypes.c_int), ("fnum", ctypes.c_int),
                ("frequency", ctypes.c_double), ("instrument", ctypes.c_int),
                ("volume", ctypes.c_int), ("muted", ctypes.c_int), ("level", ctypes.c_int)]


_lib = None


def _library():
    global _lib
    if _lib is not None:
        return _lib
    path = os.environ.get("OPL2PLAY_LIBRARY") or ctypes.util.find_library("opl2play") \
        or "libopl2play.so.0"
    try:
        lib = ctypes.CDLL(path)
    except OSError as e:
        raise Error(f"cannot load libopl2play ({path}): {e}") from None
    song = ctypes.c_void_p
    signatures = {
        "opl2_default_settings": (None, [ctypes.POINTER(_Settings)]),
        "opl2_open": (song, [ctypes.c_char_p, ctypes.c_size_t, ctypes.POINTER(_Settings),
                             ctypes.c_char_p, ctypes.c_size_t]),
        "opl2_close": (None, [song]),
        "opl2_read_s16": (ctypes.c_size_t, [song, ctypes.c_void_p, ctypes.c_size_t]),
        "opl2_read_f32": (ctypes.c_size_t, [song, ctypes.c_void_p, ctypes.c_size_t]),
        "opl2_seek": (ctypes.c_int, [song, ctypes.c_double]),
        "opl2_position": (ctypes.c_double, [song]),
        "opl2_duration": (ctypes.c_double, [song]),
        "opl2_mute_channel": (None, [song, ctypes.c_int, ctypes.c_int]),
        "opl2_set_meters": (None, [song, ctypes.c_int]),
        "opl2_channel_views": (None, [song, ctypes.POINTER(ChannelView)]),
        "opl2_sample_rate": (ctypes.c_double, [song]),
        "opl2_version": (ctypes.c_char_p, []),
    }
    for name, (restype, argtypes) in signatures.items():
        fn = getattr(lib, name)
        fn.restype, fn.argtypes = restype, argtypes
    _lib = lib
    return lib


def version():
    """"opl2play X.Y.Z"."""
    return _library().opl2_version().decode()


class Song:
    """One song being read. Unset settings keep the library's defaults (those
    of `opl2tool render`: 48,000 Hz, 2 loops, 8 s fade, 600 s cap);
    sample_rate 0 is the chip's own rate, where every sample is exact."""

    def __init__(self, data, sample_rate=None, loops=None, fade_seconds=None,
                 max_seconds=None):
        lib = _library()
        settings = _Settings()
        lib.opl2_default_settings(ctypes.byref(settings))
        for field, value in (("sample_rate", sample_rate), ("loops", loops),
                             ("fade_seconds", fade_seconds), ("max_seconds", max_seconds)):
            if value is not None:
                setattr(settings, field, value)
        data = bytes(data)
        error = ctypes.create_string_buffer(256)
        self._song = lib.opl2_open(data, len(data), ctypes.byref(settings), error, len(error))
        if not self._song:
            raise Error(error.value.decode(errors="replace"))
        self._lib = lib

    @classmethod
    def open(cls, path, **settings):
        with open(path, "rb") as f:
            data = f.read()
        try:
            return cls(data, **settings)
        except Error as e:
            raise Error(f"{path}: {e}") from None

    def _handle(self):
        if not self._song:
            raise ValueError("the song is closed")
        return self._song

    def read(self, frames):
        """Up to `frames` samples from the current position as signed 16-bit
        values; fewer only at the end (then none)."""
        out = array.array("h", bytes(2 * frames))
        address = out.buffer_info()[0]
        got = self._lib.opl2_read_s16(self._handle(), address, frames)
        del out[got:]
        return out

    def read_float(self, frames):
        """As read(), as floats in -1..1."""
        out = array.array("f", bytes(4 * frames))
        got = self._lib.opl2_read_f32(self._handle(), out.buffer_info()[0], frames)
        del out[got:]
        return out

    def seek(self, seconds):
        """Moves to `seconds`; ValueError (position unchanged) for a negative
        time or one past the end."""
        if self._lib.opl2_seek(self._handle(), float(seconds)) != 0:
            raise ValueError(f"cannot seek to {seconds} s (the song lasts {self.duration} s)")

    @property
    def position(self):
        return self._lib.opl2_position(self._handle())

    @property
    def duration(self):
        """Seconds read() delivers in all; inf for a song that plays on past
        an hour with no cap."""
        return self._lib.opl2_duration(self._handle())

    @property
    def sample_rate(self):
        return self._lib.opl2_sample_rate(self._handle())

    def mute(self, channel, muted=True):
        self._lib.opl2_mute_channel(self._handle(), channel, 1 if muted else 0)

    def set_meters(self, on):
        self._lib.opl2_set_meters(self._handle(), 1 if on else 0)

    def channel_views(self):
        views = (ChannelView * CHANNELS)()
        self._lib.opl2_channel_views(self._handle(), views)
        return list(views)

    def close(self):
        if self._song:
            self._lib.opl2_close(self._song)
            self._song = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def __del__(self):
        if getattr(self, "_song", None):
            self.close()
