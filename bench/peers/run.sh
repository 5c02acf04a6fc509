#!/usr/bin/env bash
# Times Quillon's analysis of a file (quillon-probe --json) against the tools
# people would use instead (TagLib, mutagen, MediaInfo, ffprobe) and against a
# floor that only opens each file and reads the bytes the probe reads, on one
# corpus of MPEG audio files; prints the table and writes it, with a
# description of the machine, into docs/benchmarks.md.
#
# Usage: bench/peers/run.sh [CORPUS_FOLDER]
#   CORPUS_FOLDER is made by bench/peers/make-corpus.sh when it is not complete
#   (default: build-peers/corpus). Everything else goes to build-peers/.
#   Environment: REPEATS, timed runs of each tool (default 7, at least 5);
#   FFPROBE_SAMPLE, files timed with ffprobe, one process each (default 200).
#
# Installs the Debian packages it needs when they are missing. Builds on one
# core; the timed runs are single-threaded and run one at a time.
set -euo pipefail
cd "$(dirname "$0")/../.."
repo=$PWD
build=$repo/build-peers
work=$build/peers
corpus=${1:-$build/corpus}
repeats=${REPEATS:-7}
sampleSize=${FFPROBE_SAMPLE:-200}
doc=$repo/docs/benchmarks.md
((repeats >= 5)) || { echo "$0: REPEATS must be at least 5" >&2; exit 2; }
runStart=$SECONDS

# --- What is needed: Quillon's build packages, the peers and the tools that
# make the corpus.
bash tools/install-deps.sh g++ pkg-config libtag1-dev mediainfo ffmpeg lame twolame id3v2 eyed3 \
    python3-mutagen strace util-linux
python=$(bash tools/mutagen-python.sh)

# --- Builds: the probe as released, and the small programs.
echo "Building quillon-probe (Release) and the peers..."
nice cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_BUILD_TESTS=OFF \
    -DQUILLON_BUILD_BENCH=OFF >/dev/null
nice cmake --build "$build" -j1 --target quillon-probe >/dev/null
probe=$build/tools/quillon-probe
mkdir -p "$work"
# shellcheck disable=SC2046 # pkg-config's flags are words
nice g++ -std=c++20 -O2 -Wall -Wextra bench/peers/taglib-read.cpp \
    $(pkg-config --cflags --libs taglib) -o "$work/taglib-read"
nice g++ -std=c++20 -O2 -Wall -Wextra bench/peers/floor.cpp -o "$work/floor"

# --- The corpus, and a tiny file for the tools' start-up.
corpusStart=$SECONDS
bash bench/peers/make-corpus.sh "$corpus"
corpusSeconds=$((SECONDS - corpusStart))
corpus=$(cd "$corpus" && pwd)
if [ ! -s "$work/tiny.mp3" ]; then
    ffmpeg -nostdin -loglevel error -y -f lavfi -i "sine=f=440:r=44100:d=2" \
        -c:a pcm_s16le "$work/tiny.wav"
    lame --quiet -b 32 -m m "$work/tiny.wav" "$work/tiny.mp3"
    rm -f "$work/tiny.wav"
fi
tiny=$work/tiny.mp3

# Every tool runs in the corpus folder with the bare names, all on one command
# line (2,000 short names are far below the system's limit).
cd "$corpus/files"
mapfile -t files < <(LC_ALL=C ls)
count=${#files[@]}
printf '%s\n' "${files[@]}" >"$work/names"
# ffprobe takes one file a process: an even sample of the corpus.
sample=()
for ((i = 0; i < sampleSize && i < count; i++)); do
    sample+=("${files[i * count / sampleSize]}")
done
sampleCount=${#sample[@]}
corpusBytes=$(cat -- "${files[@]}" | wc -c)

echo "Warming the page cache with the $count files..."
cat -- "${files[@]}" >/dev/null

# --- The byte ranges the probe reads, from a trace of a real run.
echo "Tracing quillon-probe..."
strace -f -qq -s 0 -o "$work/trace" "$probe" --json "${files[@]}" >/dev/null
awk -f "$repo/bench/peers/trace-ranges.awk" "$work/names" "$work/trace" >"$work/ranges"
tracedFiles=$(cut -f1 "$work/ranges" | sort -u | wc -l)
((tracedFiles == count)) ||
    { echo "$0: the trace has reads of $tracedFiles files of $count" >&2; exit 1; }
rangeCount=$(wc -l <"$work/ranges")
# The probe's system calls per file, the most frequent first.
probeCalls=$(awk -v n="$count" '
    $2 !~ /^(\+\+\+|---)/ { c = $2; sub(/\(.*/, "", c); calls[c]++ }
    END { for (c in calls) if (calls[c] / n >= 0.5) printf "%.1f %s\n", calls[c] / n, c }' \
    "$work/trace" | sort -rn | awk '{ printf("%s%s %s", (NR > 1 ? ", " : ""), $1, $2) }')
probeOpens=$(grep ' openat(' "$work/trace" | grep -cF -f <(sed 's/.*/"&"/' "$work/names") ||
    true)
localtimeStats=$(grep -c 'newfstatat(AT_FDCWD, "/etc/localtime"' "$work/trace" || true)
statxCalls=$(grep -c ' statx(' "$work/trace" || true)
fdStats=$(grep -c ' newfstatat([0-9]' "$work/trace" || true)

# --- The tools, each a function of the files it is given.
run_quillon() { "$probe" --json "$@"; }
run_taglib() { "$work/taglib-read" "$@"; }
run_mutagen() { "$python" "$repo/bench/peers/mutagen-read.py" "$@"; }
run_mediainfo() { mediainfo --Output=JSON "$@"; }
run_ffprobe() {
    local f
    for f; do ffprobe -v quiet -print_format json -show_format -show_streams "$f"; done
}
tools=(quillon taglib mutagen mediainfo ffprobe floor)

# One run, checked: every tool must have read every file.
echo "Checking that every tool reads every file..."
check() { # NAME FOUND EXPECTED
    if [ "$2" -ne "$3" ]; then
        echo "$0: $1: $2 instead of $3" >&2
        exit 1
    fi
    printf '  %-44s %s\n' "$1" "$2"
}
run_quillon "${files[@]}" >"$work/out-quillon" || true
check "quillon-probe: JSON lines" "$(wc -l <"$work/out-quillon")" "$count"
check "quillon-probe: valid MPEG streams" "$(grep -c '"valid":true' "$work/out-quillon")" "$count"
run_taglib "${files[@]}" >"$work/out-taglib"
check "TagLib: lines" "$(wc -l <"$work/out-taglib")" "$count"
check "TagLib: invalid files" "$(grep -c $'\tinvalid' "$work/out-taglib" || true)" 0
run_mutagen "${files[@]}" >"$work/out-mutagen"
check "mutagen: lines" "$(wc -l <"$work/out-mutagen")" "$count"
check "mutagen: errors" "$(grep -c $'\terror' "$work/out-mutagen" || true)" 0
run_mediainfo "${files[@]}" >"$work/out-mediainfo"
check "MediaInfo: media" "$(grep -c '"@ref":' "$work/out-mediainfo")" "$count"
check "MediaInfo: audio tracks" "$(grep -c '"@type": "Audio"' "$work/out-mediainfo")" "$count"
run_ffprobe "${sample[@]}" >"$work/out-ffprobe"
check "ffprobe: formats (sample)" "$(grep -c '"format_name":' "$work/out-ffprobe")" "$sampleCount"
check "ffprobe: audio streams (sample)" \
    "$(grep -c '"codec_type": "audio"' "$work/out-ffprobe")" "$sampleCount"
"$work/floor" "$work/ranges" >"$work/out-floor"
check "floor: files" "$(awk '{ print $2 }' "$work/out-floor")" "$count"

# --- The timed runs. Each repetition runs every tool once on all its files and
# three times on the tiny file, the tools in an order shuffled anew each time
# (with a fixed seed), so that the machine's load, and what one tool leaves
# behind for the next, fall on all tools alike.
# Microseconds between two values of $EPOCHREALTIME, read without a subshell.
micros() { echo $((${2/./} - ${1/./})); }
declare -A perFile=() startUp=()
median() {
    sort -n | awk '{ v[NR] = $1 }
        END { print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
echo "Timing, $repeats repetitions..."
loadBefore=$(cut -d' ' -f1 /proc/loadavg)
for ((r = 0; r < repeats; r++)); do
    mapfile -t order < <(printf '%s\n' "${tools[@]}" |
        awk -v seed=$((r + 1)) 'BEGIN { srand(seed) } { print rand(), $0 }' |
        sort -n | cut -d' ' -f2)
    for tool in "${order[@]}"; do
        if [ "$tool" = floor ]; then
            micros=$("$work/floor" "$work/ranges" | awk '{ print $NF }')
            perFile[floor]+="$(awk -v t="$micros" -v n="$count" 'BEGIN { print t / n }')"$'\n'
            continue
        fi
        single=()
        for _ in 1 2 3; do
            t0=$EPOCHREALTIME
            "run_$tool" "$tiny" >/dev/null 2>&1
            t1=$EPOCHREALTIME
            single+=("$(micros "$t0" "$t1")")
        done
        one=$(printf '%s\n' "${single[@]}" | median)
        startUp[$tool]+="$one"$'\n'
        if [ "$tool" = ffprobe ]; then
            t0=$EPOCHREALTIME
            run_ffprobe "${sample[@]}" >/dev/null 2>&1
            t1=$EPOCHREALTIME
            # One process per file: its start-up is part of each file's time.
            perFile[ffprobe]+="$(awk -v t="$(micros "$t0" "$t1")" -v n="$sampleCount" \
                'BEGIN { print t / n }')"$'\n'
        else
            t0=$EPOCHREALTIME
            "run_$tool" "${files[@]}" >/dev/null 2>&1 || true
            t1=$EPOCHREALTIME
            perFile[$tool]+="$(awk -v t="$(micros "$t0" "$t1")" -v s="$one" -v n="$count" \
                'BEGIN { print (t - s) / n }')"$'\n'
        fi
    done
    printf '  repetition %d of %d done (%d s): µs per file:' $((r + 1)) "$repeats" \
        $((SECONDS - runStart))
    for tool in "${tools[@]}"; do
        printf ' %s %.1f' "$tool" "$(printf '%s' "${perFile[$tool]}" | tail -1)"
    done
    echo
done
loadAfter=$(cut -d' ' -f1 /proc/loadavg)
declare -A med=() low=() high=()
: >"$work/samples"
for tool in "${tools[@]}"; do
    med[$tool]=$(printf '%s' "${perFile[$tool]}" | median)
    low[$tool]=$(printf '%s' "${perFile[$tool]}" | sort -n | head -1)
    high[$tool]=$(printf '%s' "${perFile[$tool]}" | sort -n | tail -1)
    printf '%s %s' "$tool" "${perFile[$tool]}" | tr '\n' ' ' >>"$work/samples"
    echo >>"$work/samples"
done
for tool in quillon taglib mutagen mediainfo ffprobe; do
    med[start-$tool]=$(printf '%s' "${startUp[$tool]}" | median)
done
ffprobeNoStart=$(awk -v a="${med[ffprobe]}" -v s="${med[start-ffprobe]}" 'BEGIN { print a - s }')

# --- The report.
# A time in µs: one decimal below 100, thousands grouped above 10,000.
showUs() {
    awk -v v="$1" 'BEGIN {
        if (v < 100) { printf "%.1f", v; exit }
        s = sprintf("%.0f", v)
        if (v >= 10000)
            while (match(s, /[0-9][0-9][0-9][0-9](,|$)/))
                s = substr(s, 1, RSTART) "," substr(s, RSTART + 1)
        printf "%s", s
    }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { r = a / b; printf(r < 10 ? "%.2f" : "%.0f", r) }'; }
faster() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'; }
pf() { awk -v a="$1" -v n="$count" 'BEGIN { printf "%.1f", a / n }'; }
# A paragraph wrapped at 100 columns; a list item's next lines indented.
para() { printf '%s\n' "$*" | fmt -w 100; }
item() { printf '%s\n' "$*" | fmt -w 98 | sed '2,$s/^/  /'; }

taglibVersion=$(pkg-config --modversion taglib)
mutagenVersion=$("$python" -c 'import mutagen; print(mutagen.version_string)')
mediainfoVersion=$(mediainfo --Version | sed -n 's/.*- v//p')
ffprobeVersion=$(ffprobe -version | awk 'NR == 1 { print $3 }')
lameVersion=$(lame --version | awk 'NR == 1 { print $4 }')
quillonCommit=$(git -C "$repo" rev-parse --short HEAD 2>/dev/null || echo unknown)
files50=$(find . -maxdepth 1 -type f -size +49999999c | wc -l)
withV1=$(grep -c '"id3v1":{' "$work/out-quillon" || true)
withV2=$(grep -c '"id3v2":{' "$work/out-quillon" || true)
withVbr=$(grep -c '"vbr_found":true' "$work/out-quillon" || true)
layer2=$(grep -c '"layer_text":"Layer II"' "$work/out-quillon" || true)
withPicture=$(printf '%s\n' "${files[@]}" | grep -c apic || true)
qf=${med[quillon]}

# A table row of a peer; notes which is the fastest and whether Quillon beats all.
peerRows=""
fastestPeer=""
allFaster=yes
row() { # TOOL NAME DETAIL HOW
    local v=${med[$1]}
    peerRows+="| $2 ($3) | $4 | $(showUs "$v") | $(showUs "${low[$1]}") to"
    peerRows+=" $(showUs "${high[$1]}") | $(ratio "$v" "$qf") |"$'\n'
    faster "$qf" "$v" || allFaster=no
    if [ -z "$fastestPeer" ] || faster "$v" "${med[$fastestPeer]}"; then
        fastestPeer=$1
        fastestName=$2
    fi
}
row taglib "TagLib $taglibVersion" \
    "\`taglib-read\`: \`MPEG::File\` with audio properties at the Average read style, then its
    ID3v1 and ID3v2 tags" "one process for all files"
row mutagen "mutagen $mutagenVersion" \
    "\`mutagen-read.py\`: \`mutagen.mp3.MP3\`, its ID3 tags and stream info" \
    "one Python process for all files"
row mediainfo "MediaInfo $mediainfoVersion" "\`mediainfo --Output=JSON\`" \
    "one process for all files"
row ffprobe "ffprobe $ffprobeVersion" \
    "\`ffprobe -v quiet -print_format json -show_format -show_streams\`" \
    "one process per file, as it takes one file; $sampleCount files spread over the corpus;
    start-up included"
# The details above are wrapped here for reading; the table needs one line a row.
peerRows=$(printf '%s' "$peerRows" | sed -z 's/\n    / /g')$'\n'
fastestRatio=$(ratio "${med[$fastestPeer]}" "$qf")
floorRatio=$(ratio "$qf" "${med[floor]}")
withinFloor=$(awk -v a="$qf" -v b="${med[floor]}" 'BEGIN { print (a <= 1.5 * b) ? "yes" : "no" }')

spread() { echo "$(showUs "${low[$1]}") to $(showUs "${high[$1]}")"; }
table="| Tool | How it was run | Per file, median (µs) | Lowest to highest run (µs) |"
table+=" Ratio to Quillon (peer / Quillon) |"$'\n'
table+="| --- | --- | ---: | ---: | ---: |"$'\n'
table+="| Quillon at $quillonCommit (\`quillon-probe --json\`, Release build) |"
table+=" one process for all files | $(showUs "$qf") | $(spread quillon) | 1 |"$'\n'
table+=$peerRows
table+="| Floor (\`floor\`: open each file once, read with \`pread\` the $rangeCount byte ranges"
table+=" the probe read, close) | one process; only the replay is timed, by the program itself |"
table+=" $(showUs "${med[floor]}") | $(spread floor) | Quillon / floor: $floorRatio |"

if [ "$allFaster" = yes ]; then
    target1="**met**: the fastest peer, $fastestName, takes $fastestRatio times Quillon's time"
    target1+=" per file."
else
    target1="**not met**: $fastestName takes $fastestRatio times Quillon's time per file."
fi
target2="Quillon takes $floorRatio times the floor's time per file ($(showUs "$qf") µs against"
target2+=" $(showUs "${med[floor]}") µs)."
if [ "$withinFloor" = yes ]; then
    target2="**met**: $target2"
else
    target2="**not met**: $target2"
fi

analysis=$(
    gigabytes=$(awk -v b="$corpusBytes" 'BEGIN { printf "%.2f", b / 1e9 }')
    para "Measured by \`bench/peers/run.sh\` on $count MPEG audio files ($gigabytes GB) made" \
        "by \`bench/peers/make-corpus.sh\`: 32 generated sources of 5 to 60 s, each encoded" \
        "with two of 31 settings (LAME at CBR 32 to 320 kbit/s, VBR -V0 to -V9 and ABR," \
        "MPEG 2 and 2.5, with and without its Info frame, with CRC; TwoLAME Layer II;" \
        "FFmpeg's libmp3lame and mp2 encoders), then copied and tagged with id3v2, eyeD3," \
        "mutagen and LAME itself. By Quillon's reading, $withV1 files have an ID3v1 tag," \
        "$withV2 an ID3v2 tag (2.3 or 2.4), $withVbr a Xing, Info or VBRI header, and $layer2" \
        "are Layer II; $withPicture have a picture frame of 250 KB to 4.4 MB; $files50 are" \
        "50 MB or larger. Every file was read once before the timing, so all come from the" \
        "page cache: the figures are the tools' own cost, not the disk's."
    echo
    para "Method: the tools that take many files run once on all $count of them, with all the" \
        "names on one command line (not through xargs, which would split the run into several" \
        "processes), output to /dev/null. Their time per file is (wall time of that run - wall" \
        "time of the same command on one tiny file, its start-up) / $count. ffprobe takes one" \
        "file per process, so it runs once per file, on $sampleCount files spread evenly over" \
        "the corpus, and its time per file is the wall time of that loop / $sampleCount," \
        "start-up included. Every tool ran $repeats times, each time also three times on the" \
        "tiny file (the median of the three is that repetition's start-up); the table gives the" \
        "median of the $repeats figures. Within a repetition the tools take turns, in an order" \
        "shuffled anew for each repetition, so that the machine's other work, and what one tool" \
        "leaves behind for the next, weigh on all alike. Before the timing, one run of each" \
        "tool was checked: each gave one result per file, and found an MPEG audio stream in" \
        "every file."
    echo
    para "The floor is what any analyser that looks at the same bytes must at least do:" \
        "\`strace\` of one probe run on the whole corpus gives the byte ranges it read from" \
        "each file (it opens a file more than once; a range read twice is kept once), and" \
        "\`floor\` opens each file once, reads its ranges in the probe's order, one \`pread\`" \
        "each, and closes it."
    echo
    printf '%s\n' "$table"
    echo
    if faster 0 "$ffprobeNoStart"; then
        ffprobeOwn="takes $(showUs "$ffprobeNoStart") µs per file,"
        ffprobeOwn+=" $(ratio "$ffprobeNoStart" "$qf") times Quillon"
    else
        ffprobeOwn="takes too little to be told apart from the variation of its start-up"
    fi
    para "ffprobe without its start-up ($(showUs "${med[start-ffprobe]}") µs, median on the tiny" \
        "file) $ffprobeOwn. The start-up medians of the others:" \
        "Quillon $(showUs "${med[start-quillon]}") µs," \
        "TagLib $(showUs "${med[start-taglib]}") µs," \
        "mutagen $(showUs "${med[start-mutagen]}") µs," \
        "MediaInfo $(showUs "${med[start-mediainfo]}") µs."
    echo
    echo "Targets:"
    echo
    item "- Quillon faster than every peer: $target1"
    item "- Quillon within 1.5 times the floor: $target2"
    echo
    para "The system calls of the probe per file, from the trace (those made at least once every" \
        "two files): $probeCalls. Of these, $(pf "$probeOpens") opens of the file with as many" \
        "closes, $(pf "$fdStats") fstat of an open file, $(pf "$statxCalls") statx of the file's" \
        "name and $(pf "$localtimeStats") stats of /etc/localtime; the floor makes 1 open," \
        "$(pf "$rangeCount") preads and 1 close."
)

fsType=$(findmnt -n -o FSTYPE -T "$corpus" 2>/dev/null || stat -f -c %T "$corpus")
machine=$(
    echo "Machine of the last run of \`bench/peers/run.sh\`, $(date -u '+%Y-%m-%d %H:%M UTC'):"
    echo
    echo "- CPU: $(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo), $(nproc) cores"
    echo "- Memory: $(awk '/^MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo)"
    echo "- System: Debian $(cat /etc/debian_version), Linux $(uname -r); the corpus on $fsType"
    item "- Load average (1 minute) when the timing began and ended: $loadBefore and $loadAfter" \
        "(other work shared the machine)"
    item "- Tools: MediaInfo $mediainfoVersion, ffprobe $ffprobeVersion, TagLib $taglibVersion," \
        "mutagen $mutagenVersion, LAME $lameVersion"
)

# Rewrites the region between <!-- NAME:begin --> and <!-- NAME:end -->.
writeRegion() { # NAME TEXT
    if ! grep -qx "<!-- $1:begin -->" "$doc" || ! grep -qx "<!-- $1:end -->" "$doc"; then
        echo "$0: the markers of $1 are missing in docs/benchmarks.md" >&2
        exit 1
    fi
    local text=$work/region-$1
    printf '%s\n' "$2" >"$text"
    awk -v begin="<!-- $1:begin -->" -v end="<!-- $1:end -->" -v text="$text" '
        $0 == begin { print; while ((getline line < text) > 0) print line; skip = 1; next }
        $0 == end { skip = 0 }
        !skip' "$doc" >"$work/doc.new"
    cat "$work/doc.new" >"$doc"
}
writeRegion machine "$machine"
writeRegion analysis "$analysis"

echo
printf '%s\n' "$table"
echo
echo "- Quillon faster than every peer: $target1"
echo "- Quillon within 1.5 times the floor: $target2"
echo "Per file, the probe made: $probeCalls"
echo "Corpus ready in $corpusSeconds s; whole run $((SECONDS - runStart)) s."
echo "Written to docs/benchmarks.md."
