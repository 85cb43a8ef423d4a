#!/usr/bin/env bash
# Installs a build into a fresh prefix and uses it the way a user of the
# library would: the C header as plain C99, examples/embed.c built with
# pkg-config and with the CMake package, its output against the installed
# opl2tool's render, and nothing but opl2_* exported.
#   check_package.sh BUILD_DIR SOURCE_DIR C_COMPILER [SANITIZERS]
# A build with sanitizers gives a library that needs them in its users too.
set -euo pipefail
build=$1 src=$2 cc=$3
san=${4:+-fsanitize=$4}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

fail() { echo "check_package: $*" >&2; exit 1; }
pc=$(find "$prefix" -name opl2play.pc)
[ -n "$pc" ] || fail "no opl2play.pc installed"
export PKG_CONFIG_PATH=$(dirname "$pc")
libdir=$(pkg-config --variable=libdir opl2play)
for f in bin/opl2play bin/opl2tool bin/libx68sound.so include/opl2play/opl2play.h; do
  [ -e "$prefix/$f" ] || fail "$f not installed"
done
[ -e "$libdir/libopl2play.so.0" ] || fail "libopl2play.so.0 not installed in $libdir"
readelf -d "$libdir/libopl2play.so.0" | grep -q 'SONAME.*\[libopl2play.so.0\]' || fail "SONAME"
find "$prefix" -name opl2playConfig.cmake | grep -q . || fail "no CMake package"

# Only the API leaves the library.
others=$(nm -D --defined-only "$libdir/libopl2play.so.0" | awk '{print $3}' | grep -v '^opl2_' || true)
[ -z "$others" ] || fail "exported besides opl2_*: $others"
nm -D --defined-only "$libdir/libopl2play.so.0" | grep -q ' opl2_open$' || fail "opl2_open missing"

# The header is plain C99, warning-free.
echo '#include <opl2play/opl2play.h>' |
  "$cc" -std=c99 -Wall -Wextra -Wpedantic -Werror $(pkg-config --cflags opl2play) -x c -fsyntax-only - ||
  fail "the header is not clean C99"

# embed.c through pkg-config, at the chip's rate: the same samples as the
# installed tool's render.
cd "$work"
"$cc" -std=c99 -Wall -Wextra -Werror $san "$src/examples/embed.c" $(pkg-config --cflags --libs opl2play) \
  -lm -o embed || fail "embed.c does not build with pkg-config"
song=$build/examples/demo.song
LD_LIBRARY_PATH=$libdir ./embed "$song" 0 >native.wav || fail "embed failed"
"$prefix/bin/opl2tool" render "$song" -o render.wav --rate native --title ''
cmp -s <(tail -c +45 native.wav) <(tail -c +45 render.wav) || fail "embed's samples differ from the render"
# At the default rate: a WAV whose header counts exactly the samples that follow.
LD_LIBRARY_PATH=$libdir ./embed "$song" >default.wav
size=$(stat -c %s default.wav)
data=$(od -An -tu4 -j40 -N4 default.wav | tr -d ' ')
rate=$(od -An -tu4 -j24 -N4 default.wav | tr -d ' ')
[ "$rate" = 48000 ] || fail "default rate $rate"
[ $((size - 44)) = "$data" ] || fail "header says $data bytes of samples, the file has $((size - 44))"

# The CMake package.
mkdir consumer
cat >consumer/CMakeLists.txt <<CMAKE
cmake_minimum_required(VERSION 3.20)
project(consumer C)
find_package(opl2play 0.1 REQUIRED)
add_executable(embed $src/examples/embed.c)
target_link_libraries(embed PRIVATE opl2play::libopl2play m)
CMAKE
cmake -S consumer -B consumer/build -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_C_COMPILER="$cc" \
  -DCMAKE_C_FLAGS="$san" >/dev/null ||
  fail "find_package(opl2play) failed"
cmake --build consumer/build >/dev/null || fail "embed.c does not build with the CMake package"
LD_LIBRARY_PATH=$libdir consumer/build/embed "$song" 0 | cmp -s - native.wav ||
  fail "the CMake-built embed writes other bytes"
echo "check_package: all good ($prefix)"
