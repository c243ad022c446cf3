#!/bin/sh
# Makes the small fixed media the script-build fuzz target builds with, in the
# folder given (created when missing): one-second Video CD, SVCD and CVD clips,
# a 352 x 288 bitmap and a small PNG. Files already there are kept.
set -eu
out=${1:?usage: make-media.sh FOLDER}
mkdir -p "$out"
ff="ffmpeg -nostdin -hide_banner -loglevel error -y"

make() {  # make NAME COMMAND... (the command writes to $tmp)
    name=$1; shift
    [ -s "$out/$name" ] && return 0
    tmp="$out/.$name.part.${name##*.}"
    "$@"
    mv "$tmp" "$out/$name"
}

vcd() { $ff -f lavfi -i testsrc2=size=352x288:rate=25 -f lavfi -i sine=frequency=440:sample_rate=44100 \
        -t 1 -target pal-vcd "$tmp"; }
svcd() { $ff -f lavfi -i testsrc2=size=480x576:rate=25 -f lavfi -i sine=frequency=660:sample_rate=44100 \
         -t 1 -ac 2 -target pal-svcd "$tmp"; }
cvd() { $ff -f lavfi -i testsrc2=size=352x576:rate=25 -f lavfi -i sine=frequency=880:sample_rate=44100 \
        -t 1 -s 352x576 -ac 2 -target pal-svcd "$tmp"; }
still() { $ff -f lavfi -i smptebars=size=352x288 -frames:v 1 -pix_fmt pal8 -c:v bmp -f image2 "$tmp"; }
menu() { $ff -f lavfi -i testsrc=size=96x64 -frames:v 1 -c:v png -f image2 "$tmp"; }

make vcd.mpg vcd
make svcd.mpg svcd
make cvd.mpg cvd
make still.bmp still
make menu.png menu
