#!/usr/bin/env bash
# Times setting the ID3v2 title of a batch of files, each tool in one process
# on the whole batch: quillon-tag against TagLib (MPEG::File::save), mid3v2,
# eyeD3 and kid3-cli; then one save on a 200 MB file, quillon-tag against
# TagLib. Every timed run is checked (the new title reads back in every file,
# the audio and the other frames are unchanged) and a tool that fails a check
# is reported as failing. Counts the syncs each tool makes on the batch.
# Writes the figures into docs/benchmarks.md ("batch").
#
# Usage: bench/batch.sh
#   Environment: ROUNDS, rounds of timed runs (default 5; each round runs every
#   tool once, in an order rotated each round); FILES, files in the batch
#   (default 200); CACHE, "warm" (default), "cold" or "warm cold": cold drops
#   the page cache before each timed run, which needs root rights that reach
#   the kernel, slows whatever else the machine runs, and takes about three
#   times as long.
#
# Everything goes to build-batch/ (about 2 GB). With a warm cache it took 10
# minutes on 2 cores shared with other builds, most of it in the copies and
# the checks.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
build=$repo/build-batch
rounds=${ROUNDS:-5}
count=${FILES:-200}
runStart=$SECONDS
((rounds >= 1 && count >= 1)) || { echo "$0: ROUNDS and FILES must be positive" >&2; exit 2; }

bash tools/install-deps.sh g++ pkg-config libtag1-dev python3-mutagen eyed3 kid3-cli lame sox \
    strace time util-linux
python=$(bash tools/mutagen-python.sh)
files=$repo/bench/batch/id3-files.py

dropCache() { sync && echo 3 >/proc/sys/vm/drop_caches; }
read -r -a modes <<<"${CACHE:-warm}"
for mode in "${modes[@]}"; do
    case $mode in
    cold) dropCache 2>/dev/null || { echo "$0: the page cache cannot be dropped" >&2; exit 1; } ;;
    warm) ;;
    *) echo "$0: CACHE: $mode is neither cold nor warm" >&2; exit 2 ;;
    esac
done

# --- Builds: quillon-tag as released, and the TagLib program.
echo "Building quillon-tag (Release) and taglib-title..."
nice cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_BUILD_TESTS=OFF \
    -DQUILLON_BUILD_BENCH=OFF >/dev/null
nice cmake --build "$build" -j2 --target quillon-tag >/dev/null
quillonTag=$build/tools/quillon-tag
# shellcheck disable=SC2046 # pkg-config's flags are words
nice g++ -std=c++20 -O2 -Wall -Wextra bench/batch/taglib-title.cpp \
    $(pkg-config --cflags --libs taglib) -o "$build/taglib-title"

# --- The files: one LAME encode (320 kbit/s, no Info frame, so that copies of
# it join into one longer stream), under a tag mutagen writes: ID3v2.4 with its
# default padding and a picture of 197 KB.
recipe="quillon-batch-corpus 1 $count"
corpus=$build/corpus
if [ ! -f "$corpus/complete" ] || [ "$(cat "$corpus/complete")" != "$recipe" ]; then
    echo "Making $count files and the 200 MB file..."
    rm -rf "$corpus"
    mkdir -p "$corpus"
    nice sox -n -r 44100 -c 2 -b 16 "$corpus/source.wav" synth 90 pinknoise vol 0.5
    nice lame --quiet -t -b 320 "$corpus/source.wav" "$corpus/audio.mp3"
    rm "$corpus/source.wav"
    "$python" "$files" make "$corpus/audio.mp3" "$count" "$corpus/batch" track
    # 55 copies of the stream: 198 MB of audio.
    for _ in $(seq 55); do cat "$corpus/audio.mp3"; done >"$corpus/long.mp3"
    "$python" "$files" make "$corpus/long.mp3" 1 "$corpus/big" long
    rm "$corpus/long.mp3"
    "$python" "$files" audio "$corpus/batch" "$corpus/batch.json"
    "$python" "$files" audio "$corpus/big" "$corpus/big.json"
    echo "$recipe" >"$corpus/complete"
fi
work=$build/work
mkdir -p "$work"
mapfile -t batchNames < <(cd "$corpus/batch" && LC_ALL=C ls)
batchBytes=$(cat "$corpus/batch"/* | wc -c)
bigName=$(cd "$corpus/big" && ls)
bigBytes=$(wc -c <"$corpus/big/$bigName")
tagBytes=$("$python" -c 'import json, sys; print(next(iter(json.load(open(sys.argv[1])).values()))["extent"])' \
    "$corpus/batch.json")
mkdir -p "$work/warm-up"
cp "$corpus/batch/${batchNames[0]}" "$work/warm-up/warm-up.mp3"

# --- The tools: the command that sets TITLE on the files named after it, in
# one process; put in the array cmd.
commandFor() { # TOOL TITLE
    case $1 in
    quillon) cmd=("$quillonTag" --v2 "title=$2" --) ;;
    taglib) cmd=("$build/taglib-title" "$2") ;;
    mid3v2) cmd=(mid3v2 -t "$2") ;;
    # -2: the ID3v2 tag only; without --to-v2.x eyeD3 keeps the tag's revision.
    eyed3) cmd=(eyeD3 -Q --no-color --no-config -2 -t "$2") ;;
    kid3) cmd=(kid3-cli -c "select all" -c "tag 2" -c "set title '$2'" -c save) ;;
    esac
}
declare -A toolName=(
    [quillon]="quillon-tag"
    [taglib]="TagLib"
    [mid3v2]="mid3v2"
    [eyed3]="eyeD3"
    [kid3]="kid3-cli"
)
declare -A toolHow=(
    [quillon]="\`quillon-tag --v2 title=TITLE -- FILES\`"
    [taglib]="\`taglib-title TITLE FILES\`: \`MPEG::File\` (audio properties read), title set, \`save(ID3v2, StripNone, v4)\`"
    [mid3v2]="\`mid3v2 -t TITLE FILES\`"
    [eyed3]="\`eyeD3 -Q --no-color --no-config -2 -t TITLE FILES\`"
    [kid3]="\`kid3-cli -c 'select all' -c 'tag 2' -c \"set title 'TITLE'\" -c save FILES\`"
)
batchTools=(quillon taglib mid3v2 eyed3 kid3)
bigTools=(quillon taglib)

# Microseconds between two values of $EPOCHREALTIME.
micros() { echo $((${2/./} - ${1/./})); }
median() {
    sort -n | awk '{ v[NR] = $1 }
        END { print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# One timed run: the working copy made the pristine files again and synced; in
# the cold mode the page cache dropped; the tool run once on a file apart, so
# that its program and libraries are read in; then the timed run, a sync, and
# the check. Sets runTime, syncedTime and cpuTime (µs), runVerdict (empty when
# the check passed) and the check's counts in runCounts.
declare -A checked=()
timedRun() { # TOOL SET MODE TITLE
    local tool=$1 set=$2 mode=$3 title=$4 dir=$work/$2 rc=0 t0 t1 t2
    # After a passing check only the tags differ from the pristine files.
    "$python" "$files" restore "$corpus/$set" "$dir" "$corpus/$set.json" "$work/inodes" \
        ${checked[$set]:+--heads}
    unset "checked[$set]"
    sync
    if [ "$mode" = cold ]; then dropCache; fi
    commandFor "$tool" "warm-up $title"
    "${cmd[@]}" "$work/warm-up/warm-up.mp3" >/dev/null 2>&1 || true
    commandFor "$tool" "$title"
    local paths=("$dir"/*)
    t0=$EPOCHREALTIME
    /usr/bin/time -f '%U %S' -o "$work/cpu" "${cmd[@]}" "${paths[@]}" >/dev/null \
        2>"$work/stderr" || rc=$?
    t1=$EPOCHREALTIME
    sync
    t2=$EPOCHREALTIME
    runTime=$(micros "$t0" "$t1")
    syncedTime=$(micros "$t0" "$t2")
    cpuTime=$(awk 'END { printf "%.0f", ($(NF - 1) + $NF) * 1e6 }' "$work/cpu")
    runVerdict=""
    if runCounts=$("$python" "$files" check "$title" "$dir" "$corpus/$set.json" \
        "$work/inodes" 2>"$work/check"); then
        checked[$set]=yes
    else
        runVerdict="check failed: $(head -3 "$work/check" | sed 's/^ *//' | paste -sd';')"
    fi
    if ((rc != 0)); then
        runVerdict="exit status $rc: $(head -2 "$work/stderr" | paste -sd';')${runVerdict:+; $runVerdict}"
    fi
}

declare -A times=() synced=() cpu=() failed=() counts=()
loadBefore=$(cut -d' ' -f1 /proc/loadavg)
timeRounds() { # SET MODE TOOL...
    local set=$1 mode=$2 r i tool n
    local tools=("${@:3}")
    n=${#tools[@]}
    for ((r = 0; r < rounds; r++)); do
        printf '  %s, %s cache, round %d of %d:' "$set" "$mode" $((r + 1)) "$rounds"
        for ((i = 0; i < n; i++)); do
            tool=${tools[(i + r) % n]}
            timedRun "$tool" "$set" "$mode" "$set $mode round $((r + 1)) $tool"
            local key=$set/$mode/$tool
            if [ -n "$runVerdict" ]; then
                failed[$key]+="round $((r + 1)): $runVerdict"$'\n'
                printf ' %s FAILED' "$tool"
            else
                times[$key]+="$runTime"$'\n'
                synced[$key]+="$syncedTime"$'\n'
                cpu[$key]+="$cpuTime"$'\n'
                counts[$key]=$runCounts
                printf ' %s %.3f s' "$tool" "$(awk -v t="$runTime" 'BEGIN { print t / 1e6 }')"
            fi
        done
        printf ' (%d s)\n' $((SECONDS - runStart))
    done
}
for mode in "${modes[@]}"; do
    echo "Timing $count files, $mode cache, $rounds rounds..."
    timeRounds batch "$mode" "${batchTools[@]}"
    echo "Timing the 200 MB file, $mode cache, $rounds rounds..."
    timeRounds big "$mode" "${bigTools[@]}"
done
loadAfter=$(cut -d' ' -f1 /proc/loadavg)

# --- The syncs each tool makes on the batch (one more run of each, untimed).
echo "Counting the syncs of each tool on the batch..."
declare -A syncCalls=()
for tool in "${batchTools[@]}"; do
    "$python" "$files" restore "$corpus/batch" "$work/batch" "$corpus/batch.json" "$work/inodes"
    commandFor "$tool" "strace run"
    strace -f -c -o "$work/strace-$tool" -e trace=fsync,fdatasync,syncfs,sync_file_range,sync \
        "${cmd[@]}" "$work/batch"/* >/dev/null 2>&1 || true
    syncCalls[$tool]=$(awk '$NF ~ /^(fsync|fdatasync|syncfs|sync_file_range|sync)$/ { n += $4 }
        END { print n + 0 }' "$work/strace-$tool")
    printf '  %s: %s\n' "$tool" "${syncCalls[$tool]}"
done

# --- The report.
seconds() { awk -v t="$1" 'BEGIN { printf "%.3f", t / 1e6 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { r = a / b; printf(r < 10 ? "%.2f" : "%.1f", r) }'; }
within() { awk -v a="$1" -v b="$2" -v k="$3" 'BEGIN { exit !(a <= k * b) }'; }
para() { printf '%s\n' "$*" | fmt -w 100; }
item() { printf '%s\n' "$*" | fmt -w 98 | sed '2,$s/^/  /'; }
medianOf() { printf '%s' "$1" | median; }

# What the checks found of the files a tool left: the tag's revision, its size
# and the file's inode, from the last passing run.
keptText() { # COUNTS
    local line=$1 v24 size inode
    v24=$(sed -n 's/.*v24=\([0-9]*\).*/\1/p' <<<"$line")
    size=$(sed -n 's/.*same_size=\([0-9]*\).*/\1/p' <<<"$line")
    inode=$(sed -n 's/.*same_inode=\([0-9]*\).*/\1/p' <<<"$line")
    echo "2.4 kept: $v24; tag size kept: $size; same file (inode): $inode"
}

# One table: a row per tool, Quillon/tool on its median.
declare -A med=()
tableFor() { # SET MODE FILECOUNT TOOL...
    local set=$1 mode=$2 n=$3 tool key q
    local tools=("${@:4}")
    echo "| Tool | How it was run | Median (s) | Lowest to highest (s) | Median with the sync after it (s) | Processor time, median (s) | Quillon / tool | Files the check found |"
    echo "| --- | --- | ---: | ---: | ---: | ---: | ---: | --- |"
    q=""
    [ -z "${failed[$set/$mode/quillon]:-}" ] && q=$(medianOf "${times[$set/$mode/quillon]}")
    for tool in "${tools[@]}"; do
        key=$set/$mode/$tool
        if [ -n "${failed[$key]:-}" ]; then
            printf '| %s | %s | failed | | | | | %s |\n' "${toolName[$tool]}" "${toolHow[$tool]}" \
                "$(printf '%s' "${failed[$key]}" | head -1 | tr '|' '/')"
            continue
        fi
        med[$key]=$(medianOf "${times[$key]}")
        local low high
        low=$(printf '%s' "${times[$key]}" | sort -n | head -1)
        high=$(printf '%s' "${times[$key]}" | sort -n | tail -1)
        printf '| %s | %s | %s | %s to %s | %s | %s | %s | %s of %s: new title, same audio and other frames; %s |\n' \
            "${toolName[$tool]}" "${toolHow[$tool]}" "$(seconds "${med[$key]}")" \
            "$(seconds "$low")" "$(seconds "$high")" "$(seconds "$(medianOf "${synced[$key]}")")" \
            "$(seconds "$(medianOf "${cpu[$key]}")")" \
            "$([ -n "$q" ] && ratio "$q" "${med[$key]}" || echo -)" "$n" "$n" \
            "$(keptText "${counts[$key]}")"
    done
}

verdictFast() { # MODE
    local mode=$1 tool q slowest="" worst=0 r
    if [ -n "${failed[batch/$mode/quillon]:-}" ]; then
        echo "**goal missed**: quillon-tag failed its check"
        return
    fi
    q=${med[batch/$mode/quillon]}
    for tool in "${batchTools[@]}"; do
        [ "$tool" = quillon ] && continue
        [ -n "${failed[batch/$mode/$tool]:-}" ] && continue
        r=$(awk -v a="$q" -v b="${med[batch/$mode/$tool]}" 'BEGIN { print a / b }')
        if awk -v r="$r" -v w="$worst" 'BEGIN { exit !(r > w) }'; then worst=$r; slowest=$tool; fi
    done
    if awk -v w="$worst" 'BEGIN { exit !(w <= 1) }'; then
        echo "**goal met**: quillon-tag is the fastest; Quillon / TagLib $(ratio "$q" "${med[batch/$mode/taglib]}")"
    else
        local vsTaglib=""
        [ "$slowest" = taglib ] ||
            vsTaglib="; Quillon / TagLib $(ratio "$q" "${med[batch/$mode/taglib]}")"
        echo "**goal missed** by a factor of $(ratio "$worst" 1) (Quillon / ${toolName[$slowest]}," \
            "the fastest tool$vsTaglib; the goal is at most 1.0)"
    fi
}
verdictBig() { # MODE
    local mode=$1 q t
    if [ -n "${failed[big/$mode/quillon]:-}" ] || [ -n "${failed[big/$mode/taglib]:-}" ]; then
        echo "**not measured**: a tool failed its check"
        return
    fi
    q=${med[big/$mode/quillon]}
    t=${med[big/$mode/taglib]}
    if within "$q" "$t" 2; then
        echo "**goal met**: $(ratio "$q" "$t") times TagLib's time"
    else
        echo "**goal missed** by a factor of $(awk -v a="$q" -v b="$t" 'BEGIN { printf "%.1f", a / b / 2 }')" \
            "($(ratio "$q" "$t") times TagLib's time, the goal is at most 2)"
    fi
}
syncGoal=10
verdictSyncs() {
    local n=${syncCalls[quillon]}
    if ((n <= syncGoal)); then
        echo "**goal met**: $n for $count files"
    else
        echo "**goal missed**: $n for $count files (a few is taken as at most $syncGoal)"
    fi
}

taglibVersion=$(pkg-config --modversion taglib)
mutagenVersion=$("$python" -c 'import mutagen; print(mutagen.version_string)')
eyed3Version=$(eyeD3 --version 2>&1 | head -1)
kid3Version=$(kid3-cli --help 2>&1 | awk 'NR == 1 { print $2 }')
lameVersion=$(lame --version | awk 'NR == 1 { print $4 }')
quillonCommit=$(git -C "$repo" rev-parse --short HEAD 2>/dev/null || echo unknown)
fsType=$(findmnt -n -o FSTYPE -T "$work" 2>/dev/null || stat -f -c %T "$work")
mb() { awk -v b="$1" 'BEGIN { printf "%.1f", b / 1e6 }'; }
kb() { awk -v b="$1" 'BEGIN { printf "%.0f", b / 1e3 }'; }

report=$work/report.md
{
    para "Measured by \`bench/batch.sh\` with quillon-tag at $quillonCommit (Release build)," \
        "$(date -u '+%Y-%m-%d %H:%M UTC'): $count files of $(mb $((batchBytes / count))) MB" \
        "($(mb "$batchBytes") MB in all), each the same LAME encode (320 kbit/s, 90 s) under" \
        "its own ID3v2.4 tag written by mutagen with its default padding: six text frames and" \
        "a 197 KB PNG picture, $(kb "$tagBytes") KB of tag in all; and one file of" \
        "$(mb "$bigBytes") MB (the encode 55 times over) under such a tag. Each tool sets the" \
        "ID3v2 title of all $count files in one process, with all the names on its command line."
    echo
    para "Method: $rounds rounds; each round runs every tool once, in an order rotated from" \
        "round to round. Before each timed run the files are made the pristine ones again" \
        "(copied anew, or, after a run that passed the check, their first bytes up to the end" \
        "of the pristine tag written back) and synced, and the tool is run once on a file" \
        "apart, so that its program and" \
        "libraries are read in. With a cold cache the page cache is dropped after the copy" \
        "(\`echo 3 > /proc/sys/vm/drop_caches\`), before that warm-up: the files come from the" \
        "disk. With a warm cache the copy leaves them in memory. Each run sets a title never" \
        "set before, and the time is the wall time of the tool's process, output to /dev/null;" \
        "\"with the sync after it\" adds a \`sync\` of the whole system, which writes what the" \
        "tool left in the page cache. Processor time is the user and system time of the" \
        "tool's process (GNU time), on which the machine's other work weighs less. Every run is checked with mutagen: each file's ID3v2 title" \
        "reads back as the new title, and the audio (the bytes after the ID3v2 tag) and the" \
        "other frames (their text whatever its encoding, and the picture) are those of the" \
        "pristine file; a run that fails is not timed, and its tool is reported as failing."
    echo
    for mode in "${modes[@]}"; do
        echo "### $count files, $mode cache"
        echo
        tableFor batch "$mode" "$count" "${batchTools[@]}"
        echo
        echo "### One file of $(mb "$bigBytes") MB, $mode cache"
        echo
        tableFor big "$mode" 1 "${bigTools[@]}"
        echo
    done
    echo "Syncs (fsync, fdatasync, syncfs, sync_file_range, sync) made on the $count files, counted" \
        "with \`strace -f -c\`: $(for t in "${batchTools[@]}"; do
            printf '%s %s, ' "${toolName[$t]}" "${syncCalls[$t]}"
        done | sed 's/, $//')." | fmt -w 100
    echo
    echo "Goals:"
    echo
    for mode in "${modes[@]}"; do
        item "- quillon-tag the fastest of the five on the $count files, $mode cache: $(verdictFast "$mode")"
    done
    for mode in "${modes[@]}"; do
        item "- One save on the $(mb "$bigBytes") MB file at most twice TagLib's time, $mode cache:" \
            "$(verdictBig "$mode")"
    done
    item "- A few syncs for the batch, not one or two per file: $(verdictSyncs)"
    echo
    echo "Machine:"
    echo
    echo "- CPU: $(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo), $(nproc) cores"
    echo "- Memory: $(awk '/^MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo)"
    echo "- System: Debian $(cat /etc/debian_version), Linux $(uname -r); the files on $fsType"
    item "- Load average (1 minute) when the timing began and ended: $loadBefore and $loadAfter" \
        "(other work shared the machine)"
    item "- Tools: TagLib $taglibVersion, mutagen $mutagenVersion (mid3v2), eyeD3 $eyed3Version," \
        "kid3-cli $kid3Version, LAME $lameVersion"
} >"$report"

for key in "${!failed[@]}"; do
    echo "$key failed:" >&2
    printf '%s' "${failed[$key]}" | sed 's/^/  /' >&2
done
bash bench/put-section.sh batch "$report"
echo
cat "$report"
echo
echo "Whole run $((SECONDS - runStart)) s. Written to docs/benchmarks.md."
