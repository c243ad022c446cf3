#!/usr/bin/env bash
# Installs the dependencies, builds qorvcd and authors the built-in demo disc:
# an SVCD with a still-picture menu and two video tracks made with ffmpeg.
# Everything it makes lands in demo-out/.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${QORVCD_SKIP_DEPS:-0}" != 1 ]; then ./scripts/install-deps.sh; fi
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)"

out=demo-out
q=build/cli/qorvcd
rm -rf "$out"
mkdir -p "$out"
cp demo/demo.txt "$out/"
echo "== Making demo media with ffmpeg"
ffmpeg -v error -y -f lavfi -i "testsrc2=size=480x576:rate=25" \
    -f lavfi -i "sine=frequency=440:sample_rate=44100" -t 6 -target pal-svcd "$out/clip1.mpg"
ffmpeg -v error -y -f lavfi -i "mandelbrot=size=480x576:rate=25" \
    -f lavfi -i "sine=frequency=660:sample_rate=44100" -t 5 -target pal-svcd "$out/clip2.mpg"
ffmpeg -v error -y -f lavfi -i "smptehdbars=size=480x576" -frames:v 1 "$out/MENU.BMP"
echo "== Packing the streams into sector-mode files"
"$q" pack "$out/clip1.mpg" "$out/CLIP1.MPS" --kind svcd
"$q" pack "$out/clip2.mpg" "$out/CLIP2.MPS" --kind svcd
"$q" probe "$out/CLIP1.MPS"
echo "== Authoring the disc"
"$q" build "$out/demo.txt" -o "$out/demo.img" --bin-cue --work-dir "$out"
echo "== The entries and menus of the image, as qorvcd inspect decodes them"
"$q" inspect "$out/demo.img" | sed -n '/^entries:/,/^tracksFile:/p' | sed '$d'
echo
echo "Done: $out/demo.img (RIFF disc image) and $out/demo.bin + $out/demo.cue."
echo "Check it with: vcd-info --no-ext-psd -c $out/demo.cue"
