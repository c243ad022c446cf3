#!/usr/bin/env bash
# Side-by-side timing of qorvcd against the copy floor (`cat`) and GNU VCDImager.
#
#   bench/run.sh [SIZE_MB]        (default 700: about 700 MB of SVCD and 700 MB of Video CD material)
#
# Environment:
#   QORVCD_BENCH_DIR  where the material and the outputs go (default: build/bench-media, outside git)
#   QORVCD            the program to measure (default: build/cli/qorvcd)
#   ROUNDS            rounds per job (default 5); the jobs alternate inside each round
#   KINDS             "svcd vcd" (default) or one of them
#   CLIPS             clips per kind (default 4)
#   RESULTS           the report to write (default: bench/RESULTS.md)
#
# The material is made once per kind and size with Debian's ffmpeg (testsrc2 with noise, so the
# encoder spends a realistic rate) and kept; delete $QORVCD_BENCH_DIR to make it again.
# Disk: the material of both kinds plus about three times one kind's size while a round runs.
set -euo pipefail

HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/.." && pwd)
SIZE_MB=${1:-${SIZE_MB:-700}}
ROUNDS=${ROUNDS:-5}
KINDS=${KINDS:-svcd vcd}
CLIPS=${CLIPS:-4}
BENCH_DIR=${QORVCD_BENCH_DIR:-$ROOT/build/bench-media}
QORVCD=${QORVCD:-$ROOT/build/cli/qorvcd}
RESULTS=${RESULTS:-$HERE/RESULTS.md}
TIME=/usr/bin/time

die() { echo "run.sh: $*" >&2; exit 1; }
[[ $SIZE_MB =~ ^[0-9]+$ && $SIZE_MB -ge 4 ]] || die "SIZE_MB must be a whole number of megabytes (at least 4)"
[[ -x $QORVCD ]] || die "no program at $QORVCD (build it first, or set QORVCD)"
command -v ffmpeg >/dev/null || die "ffmpeg is missing (apt-get install ffmpeg)"
if [[ ! -x $TIME ]]; then
    echo "run.sh: installing GNU time" >&2
    apt-get install -y time >/dev/null || die "GNU time is missing (apt-get install time)"
fi
HAVE_PEER=0
command -v vcdimager >/dev/null && HAVE_PEER=1
QORVCD=$(readlink -f "$QORVCD")

mkdir -p "$BENCH_DIR"
BENCH_DIR=$(cd "$BENCH_DIR" && pwd)
RAW="$BENCH_DIR/raw.tsv"
: >"$RAW"

# ---------------------------------------------------------------- material
# Bytes per second of the two targets with this source (measured on ffmpeg 5.1, Debian 12).
declare -A RATE=([svcd]=290000 [vcd]=174700)
declare -A TARGET=([svcd]=pal-svcd [vcd]=pal-vcd)
declare -A SIZE=([svcd]=480x576 [vcd]=352x288)

make_material() {  # kind -> $BENCH_DIR/<kind>-<size>/clipN.mpg
    local kind=$1 dir="$BENCH_DIR/$1-$SIZE_MB"
    local secs=$(( SIZE_MB * 1000000 / RATE[$kind] / CLIPS ))
    (( secs >= 2 )) || secs=2
    if [[ -f $dir/.done && $(cat "$dir/.done") == "$CLIPS $secs" ]]; then return; fi
    rm -rf "$BENCH_DIR/$kind"-*; mkdir -p "$dir"   # one size per kind is kept
    echo "run.sh: making $CLIPS ${TARGET[$kind]} clips of $secs s in $dir" >&2
    local i
    for ((i = 1; i <= CLIPS; i++)); do
        ffmpeg -hide_banner -loglevel error -y \
            -f lavfi -i "testsrc2=size=${SIZE[$kind]}:rate=25,noise=alls=12:allf=t+u:all_seed=$((i * 7919))" \
            -f lavfi -i "sine=frequency=$((220 + 110 * i)):sample_rate=44100" \
            -t "$secs" -target "${TARGET[$kind]}" "$dir/.clip$i.mpg"
        mv "$dir/.clip$i.mpg" "$dir/clip$i.mpg"
    done
    echo "$CLIPS $secs" >"$dir/.done"
}

# ---------------------------------------------------------------- measuring
# run_job KIND JOB OUTDIR CMD...: times CMD once (wall clock from the shell, peak resident set
# from GNU time -v: the largest of the process and the children it waited for), appends to raw.tsv.
run_job() {
    local kind=$1 job=$2 out=$3; shift 3
    mkdir -p "$out"
    sync
    local tv="$BENCH_DIR/time.txt" t0 t1
    t0=$(date +%s%N)
    if ! (cd "$out" && "$TIME" -v -o "$tv" "$@" >"$BENCH_DIR/job.log" 2>&1); then
        cat "$BENCH_DIR/job.log" >&2; die "$kind/$job failed: $*"
    fi
    t1=$(date +%s%N)
    local kb; kb=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$tv")
    printf '%s\t%s\t%s\t%s\n' "$kind" "$job" "$(( (t1 - t0) / 1000 ))" "$kb" >>"$RAW"
    printf '  %-5s %-14s %8.3f s %7.1f MB\n' "$kind" "$job" "$(echo "($t1 - $t0) / 1000000000" | bc -l)" \
        "$(echo "$kb / 1024" | bc -l)" >&2
}

declare -A CMDS=()   # kind/job -> the command as written in the report
write_script() {  # kind dir secs [folder-of-clips] -> dir/disc.txt naming CLIPn.MPS, or folder/clipn.mpg
    local kind=$1 d=$2 secs=$3 clips=${4:-} i file
    {
        echo "[VCD]"
        if [[ $kind == svcd ]]; then echo "MODE = SVCD"; echo "VERSION = 1.0"; else echo "VERSION = 2.0"; fi
        echo "VOLUME = 1"; echo "ANZVOL = 1"
        echo "[TRACK]"
        for ((i = 1; i <= CLIPS; i++)); do
            file="CLIP$i.MPS"; [[ -n $clips ]] && file="$clips/clip$i.mpg"
            if [[ $kind == svcd ]]; then
                echo "MPEGTRACK AVSEQ0$i \"$file\" PAL AUDIO 2 TIME $secs"
            else
                echo "MPEGTRACK MUSIC0$i \"$file\""
            fi
        done
        echo "[PBC]"
        for ((i = 1; i <= CLIPS; i++)); do
            local prev=NONE next=NONE id
            ((i > 1)) && prev=P0$((i - 1)); ((i < CLIPS)) && next=P0$((i + 1))
            if [[ $kind == svcd ]]; then id=AVSEQ0$i; else id=MUSIC0$i; fi
            echo "PLAYLIST P0$i PREVIOUS $prev NEXT $next RETURN NONE WAIT 0 AUTOWAIT 0 PLAY $id ENDPLAYLIST"
        done
        echo "STARTLIST P01"
    } >"$d/disc.txt"
}

bench_kind() {
    local kind=$1 media="$BENCH_DIR/$1-$SIZE_MB" work="$BENCH_DIR/work"
    local secs; secs=$(cut -d' ' -f2 "$media/.done")
    local qkind=svcd peer=svcd vflag=""
    if [[ $kind == vcd ]]; then qkind=vcd30; peer=vcd2; vflag=--vcd30; fi
    local -a in=(); local i
    for ((i = 1; i <= CLIPS; i++)); do in+=("$media/clip$i.mpg"); done
    local packloop="for i in \$(seq 1 $CLIPS); do '$QORVCD' pack '$media'/clip\$i.mpg CLIP\$i.MPS --kind $qkind || exit 1; done"

    CMDS[$kind/cat]="cat clip*.mpg > all.mpg"
    CMDS[$kind/vcdimager]="vcdimager -t $peer -c x.cue -b x.bin clip*.mpg"
    CMDS[$kind/make]="qorvcd make --kind $qkind -o out/disc.cue clip*.mpg"
    CMDS[$kind/script]="qorvcd build streams.txt -o disc.cue${vflag:+ $vflag} (streams.txt names the clip*.mpg files)"
    CMDS[$kind/steps]="for each clip: qorvcd pack clipN.mpg CLIPN.MPS --kind $qkind; then qorvcd build disc.txt -o disc.img --bin-cue${vflag:+ $vflag}"
    CMDS[$kind/pack]="for each clip: qorvcd pack clipN.mpg CLIPN.MPS --kind $qkind (all clips, one measurement)"
    CMDS[$kind/build]="qorvcd build disc.txt -o disc.img${vflag:+ $vflag} (the packed files; image only)"
    CMDS[$kind/catimg]="cat disc.img > copy.img"
    CMDS[$kind/export]="qorvcd export disc.img -o disc.cue"

    cat "${in[@]}" >/dev/null   # inputs into the page cache
    local r
    rm -rf "$work"
    write_script "$kind" "$BENCH_DIR" "$secs"; mv "$BENCH_DIR/disc.txt" "$BENCH_DIR/disc-$kind.txt"
    write_script "$kind" "$BENCH_DIR" "$secs" "$media"; mv "$BENCH_DIR/disc.txt" "$BENCH_DIR/streams-$kind.txt"
    for ((r = 1; r <= ROUNDS; r++)); do
        echo "run.sh: $kind, round $r of $ROUNDS" >&2
        run_job "$kind" cat "$work/cat" bash -c 'cat "$@" > all.mpg' cat "${in[@]}"
        rm -rf "$work/cat"
        if ((HAVE_PEER)); then
            run_job "$kind" vcdimager "$work/peer" vcdimager -t "$peer" -c x.cue -b x.bin "${in[@]}"
            rm -rf "$work/peer"
        fi
        run_job "$kind" make "$work/make" "$QORVCD" make -q --kind "$qkind" -o out/disc.cue "${in[@]}"
        rm -rf "$work/make"
        # The script route: a script naming the MPEG files, built straight to BIN/CUE (each
        # stream packed as it is copied, each sector written once).
        mkdir -p "$work/script"; cp "$BENCH_DIR/streams-$kind.txt" "$work/script/streams.txt"
        run_job "$kind" script "$work/script" "$QORVCD" build -q streams.txt -o disc.cue $vflag
        rm -rf "$work/script"
        # The same in steps: pack each file, then build the image and its BIN/CUE.
        mkdir -p "$work/steps"; cp "$BENCH_DIR/disc-$kind.txt" "$work/steps/disc.txt"
        run_job "$kind" steps "$work/steps" bash -c "$packloop && '$QORVCD' build -q disc.txt -o disc.img --bin-cue $vflag"
        rm -rf "$work/steps"
        # The steps alone: pack, build (image only), export; and a cat of the image (export's floor).
        run_job "$kind" pack "$work/steps" bash -c "$packloop"
        cp "$BENCH_DIR/disc-$kind.txt" "$work/steps/disc.txt"
        run_job "$kind" build "$work/steps" "$QORVCD" build -q disc.txt -o disc.img $vflag
        mv "$work/steps/disc.img" "$work/exp.img"; rm -rf "$work/steps"
        run_job "$kind" catimg "$work/catimg" bash -c 'cat "$1" > copy.img' cat "$work/exp.img"
        rm -rf "$work/catimg"
        run_job "$kind" export "$work/export" "$QORVCD" export "$work/exp.img" -o disc.cue
        rm -rf "$work/export" "$work/exp.img"
    done
    rm -rf "$work"
}

for kind in $KINDS; do make_material "$kind"; done
LOAD_START=$(cut -d' ' -f1-3 /proc/loadavg)
for kind in $KINDS; do bench_kind "$kind"; done
LOAD_END=$(cut -d' ' -f1-3 /proc/loadavg)

# ---------------------------------------------------------------- report
stats() {  # kind job -> "median min max peakMB" (seconds; peak the largest of the rounds)
    awk -F'\t' -v k="$1" -v j="$2" '$1 == k && $2 == j {print $3 / 1e6, $4}' "$RAW" | sort -g | awk '
        { t[NR] = $1; if ($2 > p) p = $2 }
        END { if (NR == 0) exit;
              m = (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2;
              printf "%.3f %.3f %.3f %.1f\n", m, t[1], t[NR], p / 1024 }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "—" }'; }
mb() { du -cm "$@" | tail -n1 | cut -f1; }

{
    echo "# Benchmark results"
    echo
    echo "Written by \`bench/run.sh $SIZE_MB\` on $(date -u '+%Y-%m-%d %H:%M UTC'). Figures are for **$SIZE_MB MB of material per disc kind**"
    echo "(\`SIZE_MB=$SIZE_MB\`; the script's default is 700), $ROUNDS round(s), the jobs alternating inside each round."
    echo
    echo "## Machine"
    echo
    echo "- CPU: $(lscpu | awk -F': *' '/^Model name/ {print $2; exit}'), \`nproc\` = $(nproc)"
    echo "- Memory: $(awk '/MemTotal/ {printf "%.1f GB", $2 / 1048576}' /proc/meminfo)"
    echo "- Load average (1, 5, 15 min) when the rounds began: $LOAD_START; when they ended: $LOAD_END (other work on the machine shows here)"
    echo "- Kernel: $(uname -r); file system of the bench folder: $(df -T "$BENCH_DIR" | awk 'NR == 2 {print $2}')"
    echo "- qorvcd: $("$QORVCD" --version 2>&1 | head -n1), \`${QORVCD#"$ROOT"/}\` built $(date -u -r "$QORVCD" '+%Y-%m-%d %H:%M UTC'); source tree at $(git -C "$ROOT" rev-parse --short HEAD 2>/dev/null || echo '?')$(git -C "$ROOT" diff --quiet HEAD -- 2>/dev/null || echo ' with uncommitted changes')"
    if ((HAVE_PEER)); then echo "- Peer: $(vcdimager --version 2>&1 | head -n1) (Debian)"; else echo "- Peer: vcdimager not installed (its rows are missing)"; fi
    echo "- $(ffmpeg -version | head -n1 | cut -d' ' -f1-3) (Debian) made the material"
    echo
    echo "## Inputs"
    echo
    for kind in $KINDS; do
        d="$BENCH_DIR/$kind-$SIZE_MB"
        echo "- **$kind**: $CLIPS clips of $(cut -d' ' -f2 "$d/.done") s, $(mb "$d"/clip*.mpg) MB in all, made with"
        echo "  \`ffmpeg -f lavfi -i \"testsrc2=size=${SIZE[$kind]}:rate=25,noise=alls=12:allf=t+u:all_seed=N\" -f lavfi -i sine=... -t SECS -target ${TARGET[$kind]} clipN.mpg\`"
    done
    echo
    echo "The inputs are read once before the rounds, so they sit in the page cache; outputs go to the same"
    echo "disk (\`sync\` before each job, not timed) and are removed after each job. Wall time is measured"
    echo "around \`/usr/bin/time -v\`; peak memory is its \"Maximum resident set size\" (for a job of several"
    echo "processes, the largest of them), the largest over the rounds."
    echo
    echo "## Commands"
    echo
    echo "Run from the output folder; \`clip*.mpg\` are the inputs above. \`streams.txt\` is a script with"
    echo "one \`MPEGTRACK\` line per input file (by its full path) and a play list through them, as"
    echo "\`qorvcd make\` writes it; \`disc.txt\` is the same script naming the packed files \`CLIPN.MPS\`."
    echo
    echo "| job | command |"
    echo "|---|---|"
    for kind in $KINDS; do
        for job in cat vcdimager make script steps pack build catimg export; do
            [[ $job == vcdimager && $HAVE_PEER == 0 ]] && continue
            echo "| $kind $job | \`${CMDS[$kind/$job]}\` |"
        done
    done
    echo
    echo "## Figures"
    for kind in $KINDS; do
        echo
        echo "### $kind ($(mb "$BENCH_DIR/$kind-$SIZE_MB"/clip*.mpg) MB of input)"
        echo
        read -r catm _ <<<"$(stats "$kind" cat)"
        peerm=""; ((HAVE_PEER)) && read -r peerm _ <<<"$(stats "$kind" vcdimager)"
        read -r imgm _ <<<"$(stats "$kind" catimg)"
        echo "| job | wall s median | min | max | × cat floor | × vcdimager | peak MB |"
        echo "|---|---|---|---|---|---|---|"
        for job in cat vcdimager make script steps pack build catimg export; do
            [[ $job == vcdimager && $HAVE_PEER == 0 ]] && continue
            read -r m lo hi peak <<<"$(stats "$kind" "$job")"
            case $job in
                cat)       label="\`cat\` of the inputs (the floor)" ;;
                vcdimager) label="vcdimager: MPEG files → BIN/CUE" ;;
                make)      label="qorvcd \`make\`: MPEG files → BIN/CUE, one command" ;;
                script)    label="qorvcd script route: \`build -o disc.cue\` of a script naming the MPEG files" ;;
                steps)     label="qorvcd in steps: \`pack\` each + \`build --bin-cue\`" ;;
                pack)      label="qorvcd \`pack\` alone (all files)" ;;
                build)     label="qorvcd \`build\` alone (image only)" ;;
                catimg)    label="\`cat\` of the image (export's floor)" ;;
                export)    label="qorvcd \`export\` alone" ;;
            esac
            vs_cat=$(ratio "$m" "$catm")
            [[ $job == export ]] && vs_cat="$vs_cat ($(ratio "$m" "$imgm") × cat of the image)"
            vs_peer="—"
            [[ -n $peerm && $job =~ ^(vcdimager|make|script|steps)$ ]] && vs_peer=$(ratio "$m" "$peerm")
            echo "| $label | $m | $lo | $hi | $vs_cat | $vs_peer | $peak |"
        done
    done
    echo
    echo "## Targets of issue 13"
    echo
    echo "| kind | target | measured | met |"
    echo "|---|---|---|---|"
    for kind in $KINDS; do
        read -r catm _ <<<"$(stats "$kind" cat)"
        read -r imgm _ <<<"$(stats "$kind" catimg)"
        read -r makem _ <<<"$(stats "$kind" make)"
        read -r scriptm _ <<<"$(stats "$kind" script)"
        read -r buildm _ <<<"$(stats "$kind" build)"
        read -r exportm _ <<<"$(stats "$kind" export)"
        if ((HAVE_PEER)); then
            read -r peerm _ <<<"$(stats "$kind" vcdimager)"
            r=$(ratio "$scriptm" "$peerm")
            echo "| $kind | MPEG files → BIN/CUE (script route, \`build -o disc.cue\`) at most 0.33 × vcdimager | $r × | $(awk -v r="$r" 'BEGIN { print (r <= 0.33) ? "yes" : "no" }') |"
            r=$(ratio "$makem" "$peerm")
            echo "| $kind | MPEG files → BIN/CUE (\`make\`) at most 0.33 × vcdimager | $r × | $(awk -v r="$r" 'BEGIN { print (r <= 0.33) ? "yes" : "no" }') |"
        fi
        r=$(ratio "$buildm" "$catm")
        echo "| $kind | \`build\` (image only) at most 1.5 × the \`cat\` floor | $r × | $(awk -v r="$r" 'BEGIN { print (r <= 1.5) ? "yes" : "no" }') |"
        r=$(ratio "$exportm" "$imgm")
        echo "| $kind | \`export\` at most 2 × a \`cat\` of the image | $r × | $(awk -v r="$r" 'BEGIN { print (r <= 2) ? "yes" : "no" }') |"
        p=$(for job in make script steps pack build export; do stats "$kind" "$job"; done | awk '$4 > p { p = $4 } END { print p }')
        echo "| $kind | peak memory at most 32 MB for every qorvcd command timed here (\`make\`, \`build\`, \`pack\`, \`export\`) | $p MB (largest) | $(awk -v p="$p" 'BEGIN { print (p <= 32) ? "yes" : "no" }') |"
    done
    echo
    echo "The Video CD peer job is \`vcdimager -t vcd2\` (a Video CD 2.0; it does not write 3.0), qorvcd's is \`--kind vcd30\`."
    echo "Raw figures (kind, job, wall µs, peak KB per round) are in \`raw.tsv\` in the bench folder."
    echo
    echo "Not met: the commands that load the codec module (\`still\`, \`make --menu\` or \`--picture\`, a conversion)"
    echo "peak at 39 to 46 MB, FFmpeg's own libraries; the end of the section below says where that memory goes."
    # The profile of `build`, measured by hand, travels with every report.
    if [[ -f $HERE/where-build-spends-its-time.md ]]; then cat "$HERE/where-build-spends-its-time.md"; fi
} >"$RESULTS.tmp"
mv "$RESULTS.tmp" "$RESULTS"
echo "run.sh: wrote $RESULTS" >&2
