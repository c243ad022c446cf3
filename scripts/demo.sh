#!/usr/bin/env bash
# Installs the dependencies, builds the qorvcd program (not the tests) and
# authors the built-in demo disc: an SVCD with a still-picture menu and two
# video tracks made with ffmpeg. It ends with `qorvcd inspect`'s summary of
# the disc and the list of files; everything it makes lands in demo-out/.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "${QORVCD_SKIP_DEPS:-0}" != 1 ]; then ./scripts/install-deps.sh; fi
echo "== Building the qorvcd program (the tests are built by scripts/test.sh)"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target qorvcd

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
echo "== The disc, as qorvcd inspect sums it up"
"$q" inspect "$out/demo.img"
echo
echo "Done. The files are in $out/:"
row() { printf '  %-26s %s\n' "$1" "$2"; }
row "$out/demo.img" "the disc image (RIFF)"
row "$out/demo.bin, demo.cue" "the same disc for any CD burning program"
row "$out/demo.txt" "the authoring script"
row "$out/CLIP1.MPS, CLIP2.MPS" "the packed tracks"
row "$out/MENU.BMP" "the menu picture"
echo "To change the disc, edit $out/demo.txt and run:"
echo "  $q build $out/demo.txt -o $out/demo.img --bin-cue"
echo "More detail: $q inspect $out/demo.img --full"
echo "Check it with: vcd-info --no-ext-psd -c $out/demo.cue"
