/* Plays a song file into a WAV on standard output through libopl2play:
 *   cc embed.c $(pkg-config --cflags --libs opl2play) -o embed
 *   ./embed SONG [RATE] > song.wav      (RATE 0: the chip's own rate) */
#include <math.h>
#include <opl2play/opl2play.h>
#include <stdio.h>
#include <stdlib.h>

static void put(unsigned long v, int bytes) {
  for (int i = 0; i < bytes; ++i) putchar((int)(v >> (8 * i) & 0xFF));
}

int main(int argc, char **argv) {
  if (argc < 2) return fprintf(stderr, "usage: embed SONG [RATE] > OUT.wav\n"), 2;
  FILE *f = fopen(argv[1], "rb");
  if (!f) return fprintf(stderr, "embed: cannot open %s\n", argv[1]), 1;
  static unsigned char data[1 << 20];
  const size_t size = fread(data, 1, sizeof data, f);
  fclose(f);
  if (size == sizeof data) return fprintf(stderr, "embed: %s is too big\n", argv[1]), 1;
  opl2_settings s;
  opl2_default_settings(&s);
  if (argc > 2) s.sample_rate = atoi(argv[2]);
  char error[200];
  opl2_song *song = opl2_open(data, size, &s, error, sizeof error);
  if (!song) return fprintf(stderr, "embed: %s\n", error), 1;
  const unsigned long frames = (unsigned long)llround(opl2_duration(song) * opl2_sample_rate(song));
  const unsigned long rate = (unsigned long)llround(opl2_sample_rate(song));
  fputs("RIFF", stdout), put(36 + 2 * frames, 4), fputs("WAVEfmt ", stdout);
  put(16, 4), put(1, 2), put(1, 2), put(rate, 4), put(2 * rate, 4), put(2, 2), put(16, 2);
  fputs("data", stdout), put(2 * frames, 4);
  int16_t block[4096];
  size_t n;
  while ((n = opl2_read_s16(song, block, 4096)) > 0)
    for (size_t i = 0; i < n; ++i) put((unsigned long)(uint16_t)block[i], 2);
  opl2_close(song);
  return 0;
}
