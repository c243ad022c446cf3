#!/bin/sh
# Rewrites each committed corpus (every target, or the ones named) as the
# smallest set of its inputs that keeps the coverage of the whole (libFuzzer's
# set-cover merge), after dropping found inputs over a size cap, to keep the
# corpora small in git. Needs build-fuzz (run.sh
# makes it).
#
#   tests/fuzz/minimise.sh [TARGET...]
set -eu

here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
build=${QORVCD_FUZZ_BUILD:-$source_dir/build-fuzz}
targets=${*:-"script_reader script_build mpeg_probe packet_reader image_reader still_picture"}
"$here/make-media.sh" "$build/fuzz-media"
export QORVCD_FUZZ_MEDIA="$build/fuzz-media"

# Found inputs (named by their SHA-1) longer than this are dropped first, to
# keep git small; the named seeds stay whatever their size.
size_cap() {
    case $1 in
        image_reader|still_picture) echo 32768 ;;
        mpeg_probe|packet_reader) echo 8192 ;;
        *) echo 65536 ;;
    esac
}

for t in $targets; do
    corpus="$here/corpus/$t"
    before="$(find "$corpus" -type f | wc -l) files, $(cat "$corpus"/* | wc -c) bytes"
    find "$corpus" -type f -size +"$(size_cap "$t")"c -regextype posix-extended -regex '.*/[0-9a-f]{40}' -delete
    fresh="$build/fuzz-runs/$t/minimised"
    rm -rf "$fresh"
    mkdir -p "$fresh"
    nice -n 10 "$build/tests/fuzz/fuzz_$t" -set_cover_merge=1 -rss_limit_mb=2048 -timeout=30 "$fresh" "$corpus" \
        >"$build/fuzz-runs/$t/minimise.log" 2>&1
    # libFuzzer names what it keeps by the SHA-1 of its bytes: an input kept
    # stays under its own name (seeds keep their telling names), the rest go.
    for f in "$corpus"/*; do
        sum=$(sha1sum <"$f" | cut -c1-40)
        if [ -e "$fresh/$sum" ]; then rm "$fresh/$sum"; else rm "$f"; fi
    done
    for f in "$fresh"/*; do [ -e "$f" ] && cp "$f" "$corpus"/; done
    echo "$t: $before -> $(find "$corpus" -type f | wc -l) files, $(cat "$corpus"/* | wc -c) bytes"
done
