#!/bin/sh
# Makes the media of the example scripts with ffmpeg, then builds every example.
#
#   examples/make-media.sh                 media into examples/media, discs into examples/out
#   examples/make-media.sh --media-only    only the media
#   QORVCD=/path/to/qorvcd examples/make-media.sh [--media-only] [MEDIA_DIR [OUT_DIR]]
#
# The clips are three seconds long, so the whole run takes well under a minute.
# A file that is already there is kept, so a second run only builds.
# Needs: ffmpeg, and the qorvcd program (found on PATH, or in build/ or build-d/
# of the source tree, or named by $QORVCD).
set -eu

here=$(cd "$(dirname "$0")" && pwd)
media_only=no
if [ "${1:-}" = "--media-only" ]; then media_only=yes; shift; fi
media=${1:-$here/media}
out=${2:-$here/out}

if [ -z "${QORVCD:-}" ]; then
    for candidate in "$(command -v qorvcd || true)" "$here/../build/cli/qorvcd" "$here/../build-d/cli/qorvcd"; do
        if [ -n "$candidate" ] && [ -x "$candidate" ]; then QORVCD=$candidate; break; fi
    done
fi
[ -n "${QORVCD:-}" ] || { echo "make-media.sh: qorvcd not found; set QORVCD=/path/to/qorvcd" >&2; exit 2; }
command -v ffmpeg >/dev/null || { echo "make-media.sh: ffmpeg not found (apt-get install ffmpeg)" >&2; exit 2; }

mkdir -p "$media/TITLE/COMP"
ff() { ffmpeg -nostdin -loglevel error -y "$@"; }

# media_file NAME COMMAND...: runs the ffmpeg command line with the output last,
# unless NAME is already there; writes under a temporary name first.
media_file() {
    name=$1; shift
    [ -s "$media/$name" ] && return 0
    echo "making $name"
    ext=${name##*.}
    ff "$@" "$media/.part.$ext"
    mv "$media/.part.$ext" "$media/$name"
}

# Videos as a camera or phone writes them (H.264 and AAC in MP4): the build
# converts them for the disc kind itself.
media_file BEACH.MP4 -f lavfi -i testsrc2=size=640x480:rate=25:duration=3 \
    -f lavfi -i sine=frequency=440:duration=3 -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest
media_file CITY.MP4 -f lavfi -i smptebars=size=640x360:rate=25:duration=3 \
    -f lavfi -i sine=frequency=660:duration=3 -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest
media_file GARDEN.MP4 -f lavfi -i mandelbrot=size=640x480:rate=25 -t 3 \
    -f lavfi -i sine=frequency=550:duration=3 -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest
# A one-second clip for a segment (a short motion item of a menu).
media_file INTRO.MP4 -f lavfi -i rgbtestsrc=size=640x480:rate=25:duration=1 \
    -f lavfi -i sine=frequency=880:duration=1 -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest

# Pictures: menus and photos, in any size (fitted to the screen with bars).
media_file MENU.PNG -f lavfi -i testsrc=size=480x576 -frames:v 1
media_file MENU2.PNG -f lavfi -i smptehdbars=size=800x600 -frames:v 1
media_file PHOTO1.JPG -f lavfi -i mandelbrot=size=1024x768 -frames:v 1
media_file PHOTO2.JPG -f lavfi -i testsrc2=size=800x600 -frames:v 1
media_file PHOTO3.PNG -f lavfi -i rgbtestsrc=size=1280x720 -frames:v 1
media_file THEEND.PNG -f lavfi -i color=c=navy:size=704x576 -frames:v 1

# Ready-made sector-mode files for the CVD example: `qorvcd pack` converts
# once, the build then copies them as they are. A .EP side file beside each
# track states its norm and audio for the disc's track table.
for n in 1 2; do
    if [ ! -s "$media/CVD$n.MPS" ]; then
        src=BEACH.MP4; [ $n = 2 ] && src=CITY.MP4
        echo "making CVD$n.MPS"
        if ! log=$("$QORVCD" pack "$media/$src" "$media/CVD$n.MPS" --kind cvd --norm pal 2>&1); then
            echo "$log" >&2
            exit 1
        fi
    fi
    printf 'PAL\r\nAUDIO 2\r\n' > "$media/CVD$n.EP"
done

# Files for the SUPER-VCD example: an extra folder of ordinary files, and an
# application folder (a home page and the COMP folder the build scans).
printf 'Made with qorvcd.\r\n' > "$media/README.TXT"
printf '<html><body>Our disc</body></html>\r\n' > "$media/TITLE/HOME.HTM"
printf 'Help for the disc.\r\n' > "$media/TITLE/COMP/HELP.CHM"
media_file TITLE/COMP/JINGLE.WAV -f lavfi -i sine=frequency=500:duration=1 -c:a pcm_s16le

[ "$media_only" = yes ] && exit 0

# Build every example; the scripts name their media as media/NAME, so the
# media folder must lie beside them (it does when MEDIA_DIR is the default).
mkdir -p "$out"
status=0
for script in "$here"/*.txt; do
    name=$(basename "$script" .txt)
    kind_option=""
    case $name in vcd30-*) kind_option=--vcd30 ;; esac   # these scripts name no MODE
    echo "== $name"
    if ! "$QORVCD" build "$script" -o "$out/$name.img" --bin-cue -q $kind_option; then
        echo "   FAILED (run: $QORVCD build $script -o $out/$name.img $kind_option)" >&2
        status=1
    fi
done
exit $status
