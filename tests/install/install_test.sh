#!/usr/bin/env bash
# install_test.sh pkg-config|cmake BUILD_DIR SOURCE_DIR C_COMPILER
# Installs BUILD_DIR into a temporary prefix, builds the hosts in SOURCE_DIR
# against it (through pkg-config, or through find_package) and has each
# author an SVCD of one short track (made with ffmpeg and the installed
# program's `pack`); each build must succeed and leave the image.
set -euo pipefail
how=$1 build=$2 here=$3 cc=$4
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
prefix=$tmp/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

for f in bin/qorvcd include/qorvcd/qorvcd.h include/qorvcd/qorvcd_c.h \
         lib/libqorvcd.a lib/pkgconfig/qorvcd.pc lib/cmake/qorvcd/qorvcdConfig.cmake \
         share/qorvcd/SVCD.CFG; do
  [ -f "$prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done

hosts=()
if [ "$how" = pkg-config ]; then
  export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
  # shellcheck disable=SC2046
  "$cc" -std=c11 -Wall -Werror "$here/host.c" -o "$tmp/host_c" \
      $(pkg-config --cflags --libs --static qorvcd)
  hosts=("$tmp/host_c")
else
  mkdir "$tmp/consumer"
  cp "$here/host.c" "$here/host.cpp" "$tmp/consumer/"
  cp "$here/CMakeLists.consumer.txt" "$tmp/consumer/CMakeLists.txt"
  cmake -S "$tmp/consumer" -B "$tmp/consumer/build" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
  cmake --build "$tmp/consumer/build" >/dev/null
  hosts=("$tmp/consumer/build/host_c" "$tmp/consumer/build/host_cxx")
fi

ffmpeg -v error -y -f lavfi -i "testsrc2=size=480x576:rate=25" \
    -f lavfi -i "sine=frequency=440:sample_rate=44100" -t 1 -target pal-svcd "$tmp/clip.mpg"
"$prefix/bin/qorvcd" pack "$tmp/clip.mpg" "$tmp/CLIP1.MPS" --kind svcd >/dev/null

for host in "${hosts[@]}"; do
  run=$tmp/run-$(basename "$host")
  mkdir "$run" "$run/work"
  cp "$tmp/CLIP1.MPS" "$run/"
  printf '[VCD]\r\nMODE = SVCD\r\nALBUM = "INSTALLED"\r\nVERSION = 1.0\r\n' > "$run/disc.txt"
  printf '[TRACK]\r\nMPEGTRACK AVSEQ01 CLIP1.MPS PAL AUDIO 2 TIME 1\r\n' >> "$run/disc.txt"
  (cd / && "$host" "$run/disc.txt" "$run/disc.img" "$prefix/share/qorvcd" "$run/work") \
      > "$run/log.txt" || { cat "$run/log.txt"; echo "$host: the build failed"; exit 1; }
  [ -s "$run/disc.img" ] || { echo "$host: no image"; exit 1; }
  tail -n 1 "$run/log.txt"
done
echo "OK"
