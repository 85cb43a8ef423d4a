/* libopl2play: songs for the 9-channel OPL2 (YM3812) FM chip, played on an
 * emulated chip and read as mono samples, from memory, with exact seeking.
 *
 * A song is opened from its bytes (the data is copied; the caller's buffer
 * may go once opl2_open returns) and read like a sound file. At the chip's
 * own rate (sample_rate 0: 3,579,545 / 72 Hz, about 49,716 Hz) every sample
 * is exact: reading a song to its end gives, sample for sample, what
 * `opl2tool render --rate native` writes with the same loops, fade and cap,
 * and after a seek the samples are those of an uninterrupted read from the
 * start. Other rates go through a rate converter (libsoxr).
 *
 * Memory: everything is allocated by opl2_open; reading, seeking, muting and
 * the channel views allocate nothing. Every function taking a song accepts
 * NULL and then does nothing (reads give 0 frames, seeks -1). Threads: separate songs may be used
 * from separate threads without a lock; one song is used by one thread at a
 * time. See docs/library.md. */
#ifndef OPL2PLAY_OPL2PLAY_H
#define OPL2PLAY_OPL2PLAY_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32) && defined(OPL2PLAY_BUILDING_DLL)
#define OPL2_API __declspec(dllexport)
#elif defined(__GNUC__)
#define OPL2_API __attribute__((visibility("default")))
#else
#define OPL2_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The chip's own sample rate, in Hz. */
#define OPL2_NATIVE_RATE (3579545.0 / 72.0)
#define OPL2_CHANNELS 9

typedef struct opl2_song opl2_song;

typedef struct opl2_settings {
  int sample_rate;     /* 0: the chip's own rate, 3,579,545/72 Hz, every sample exact;
                          else 8,000..384,000 Hz through the rate converter */
  int loops;           /* looping songs: jumps back to the loop point before the fade;
                          -1: for ever */
  double fade_seconds; /* fade after the loops */
  double max_seconds;  /* longest output; 0: no cap */
} opl2_settings;

/* As `opl2tool render`: 48,000 Hz, 2 loops, 8 s fade, 600 s cap. */
OPL2_API void opl2_default_settings(opl2_settings* s);

/* Opens a song from its bytes. NULL, with a one-line reason in `error` (if
 * not NULL, cut to error_size), when the bytes are not a song (empty, or a
 * format id other than 2), when a setting is out of range, or when the rate
 * cannot be had (a build without the rate converter offers only 0). `s` NULL
 * means the default settings. */
OPL2_API opl2_song* opl2_open(const void* data, size_t size, const opl2_settings* s, char* error,
                              size_t error_size);
OPL2_API void opl2_close(opl2_song* song);

/* Mono samples from the current position; fewer than asked only at the end
 * (then 0). _f32 gives -1..1. */
OPL2_API size_t opl2_read_s16(opl2_song* song, int16_t* out, size_t frames);
OPL2_API size_t opl2_read_f32(opl2_song* song, float* out, size_t frames);

/* 0 on success: then opl2_position() == seconds, to a sample. -1, with the
 * position unchanged, for a negative or non-number time or one past the end. */
OPL2_API int opl2_seek(opl2_song* song, double seconds);
/* Seconds of output delivered so far, or the seek target. */
OPL2_API double opl2_position(const opl2_song* song);
/* Seconds opl2_read delivers in all with these settings; INFINITY for a song
 * that plays on past an hour with no cap. For a song whose channels all
 * stop, the first call renders ahead to where the chip falls silent. */
OPL2_API double opl2_duration(const opl2_song* song);

/* Channels 0..8: a muted channel's two operators are left out at the chip's
 * output stage (they keep running, so unmuting is seamless). With no channel
 * muted the output is untouched. Other channel numbers are ignored. */
OPL2_API void opl2_mute_channel(opl2_song* song, int channel, int muted);

/* What a visualiser shows of one channel, as of the current position. */
typedef struct opl2_channel_view {
  int key_on;       /* 1 while the channel's key is on */
  int block;        /* octave 0..7 */
  int fnum;         /* F-number 0..1023; the pitch is fnum * 49716 / 2^(20 - block) Hz */
  double frequency; /* that pitch in Hz */
  int instrument;   /* patch number last selected (0 at the start) */
  int volume;       /* value of the last volume event (0 before any) */
  int muted;        /* 1 when muted with opl2_mute_channel */
  int level;        /* 0..32767: the channel's largest contribution to the output since
                       the last call; 0 while meters are off */
} opl2_channel_view;

/* Levels are measured while meters are on (off at first: they cost time). */
OPL2_API void opl2_set_meters(opl2_song* song, int on);
/* Fills views[0..8]. */
OPL2_API void opl2_channel_views(opl2_song* song, opl2_channel_view views[OPL2_CHANNELS]);

/* The sample rate of the output, in Hz. */
OPL2_API double opl2_sample_rate(const opl2_song* song);

/* "opl2play X.Y.Z". */
OPL2_API const char* opl2_version(void);

#ifdef __cplusplus
}
#endif

#endif /* OPL2PLAY_OPL2PLAY_H */
