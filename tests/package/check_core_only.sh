#!/usr/bin/env bash
# Builds the core alone (-DOPL2_CORE_ONLY=ON: no SDL2, libsndfile, libsoxr),
# as the browser and Windows builds do, and checks what it offers: the
# chip's own rate, with the same samples as the full build, and a clear
# refusal of any other rate.
#   check_core_only.sh SOURCE_DIR FULL_BUILD_DIR C_COMPILER
set -euo pipefail
src=$1 full=$2 cc=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check_core_only: $*" >&2; exit 1; }

start=$SECONDS
cmake -S "$src" -B "$work/build" -DOPL2_CORE_ONLY=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER="$cc" >/dev/null || fail "configure failed"
cmake --build "$work/build" -j 2 >"$work/build.log" 2>&1 || { tail -20 "$work/build.log"; fail "build failed"; }
! grep -q 'warning:' "$work/build.log" || { grep -A3 'warning:' "$work/build.log"; fail "warnings"; }
lib=$work/build/bin/libopl2play.so.0
ldd "$lib" | grep -Eq 'soxr|SDL|sndfile' && fail "the core links $(ldd "$lib" | grep -Eo 'soxr|SDL2|sndfile')"

cat >"$work/check.c" <<'C'
#include <opl2play/opl2play.h>
#include <stdio.h>
#include <string.h>
static unsigned char data[1 << 20];
int main(int argc, char **argv) {
  FILE *f = fopen(argv[1], "rb");
  size_t size = fread(data, 1, sizeof data, f);
  fclose(f);
  (void)argc;
  opl2_settings s;
  char error[200];
  opl2_default_settings(&s);
  if (opl2_open(data, size, &s, error, sizeof error) != NULL) return 1;
  fprintf(stderr, "%s\n", error);
  if (strstr(error, "only the chip's own rate") == NULL) return 2;
  s.sample_rate = 0;
  opl2_song *song = opl2_open(data, size, &s, error, sizeof error);
  if (song == NULL) return 3;
  int16_t block[4096];
  size_t n;
  while ((n = opl2_read_s16(song, block, 4096)) > 0) fwrite(block, 2, n, stdout);
  opl2_close(song);
  return 0;
}
C
"$cc" -std=c99 -Wall -Wextra -Werror -I"$src/include" "$work/check.c" -L"$work/build/bin" -lopl2play \
  -o "$work/check" || fail "check.c does not build"
LD_LIBRARY_PATH=$work/build/bin "$work/check" "$full/examples/demo.song" >"$work/core.s16" ||
  fail "the core build misbehaves (status $?)"
"$full/bin/opl2tool" render "$full/examples/demo.song" -o "$work/full.wav" --rate native --title ''
cmp -s "$work/core.s16" <(tail -c +45 "$work/full.wav") || fail "the core build's samples differ"
echo "check_core_only: all good in $((SECONDS - start)) s"
