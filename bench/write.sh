#!/usr/bin/env bash
# Times tag writing on large files against `cp` and TagLib, and the peak memory
# of a save, and writes the figures into docs/benchmarks.md ("Writing tags");
# then quillon-tag --from-name against kid3-cli's totag on 2,000 small files
# ("Tags from file names"). Needs about 1.5 GB free beside the build folder;
# takes a few minutes.
# usage: bench/write.sh [names]   (names: the second part alone)
#   Environment for the second part: FILES (default 2000), ROUNDS (default 3).
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh libbenchmark-dev libtag1-dev

build=build-bench
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_BUILD_TESTS=OFF >/dev/null

# --- Tags from file names: quillon-tag --from-name against kid3-cli's totag on the same files in
# the same run, each tool in one process on all of them, then the tags checked with mutagen.
namesPart() {
    bash tools/install-deps.sh python3-mutagen kid3-cli lame sox
    local python count rounds corpus recipe work r i tool t0 t1 rc
    python=$(bash tools/mutagen-python.sh)
    count=${FILES:-2000}
    rounds=${ROUNDS:-3}
    cmake --build "$build" --target quillon-tag >/dev/null
    corpus=$build/names-corpus
    recipe="quillon-names-corpus 1 $count"
    if [ ! -f "$corpus/complete" ] || [ "$(cat "$corpus/complete")" != "$recipe" ]; then
        echo "Making $count files..."
        rm -rf "$corpus"
        mkdir -p "$corpus"
        sox -n -r 44100 -c 2 -b 16 "$corpus/source.wav" synth 3 pinknoise vol 0.5
        lame --quiet -b 128 "$corpus/source.wav" "$corpus/audio.mp3"
        "$python" bench/batch/name-files.py make "$corpus/audio.mp3" "$count" "$corpus/files"
        echo "$recipe" >"$corpus/complete"
    fi
    local pattern="%track% - %artist% - %title%"
    declare -A how=(
        [quillon]="\`quillon-tag --from-name '$pattern' -- FILES\`"
        [kid3]="\`kid3-cli -c 'select all' -c \"totag '%{track} - %{artist} - %{title}' 2\" -c save FILES\`"
    )
    declare -A name=([quillon]=quillon-tag [kid3]=kid3-cli)
    declare -A times=() failed=()
    local tools=(quillon kid3)
    work=$build/names-work
    local loadBefore
    loadBefore=$(cut -d' ' -f1 /proc/loadavg)
    for ((r = 0; r < rounds; r++)); do
        printf '  round %d of %d:' $((r + 1)) "$rounds"
        for ((i = 0; i < ${#tools[@]}; i++)); do
            tool=${tools[(i + r) % ${#tools[@]}]}
            rm -rf "$work"
            cp -a "$corpus/files" "$work"
            sync
            local cmd
            if [ "$tool" = quillon ]; then
                cmd=("$build/tools/quillon-tag" --from-name "$pattern" --)
            else
                cmd=(kid3-cli -c "select all" -c "totag '%{track} - %{artist} - %{title}' 2" -c save)
            fi
            rc=0
            t0=$EPOCHREALTIME
            "${cmd[@]}" "$work"/*.mp3 >/dev/null 2>"$build/names-stderr" || rc=$?
            t1=$EPOCHREALTIME
            if ((rc == 0)) && "$python" bench/batch/name-files.py check "$work" "$corpus/audio.bin" >/dev/null \
                2>"$build/names-check"; then
                times[$tool]+="$((${t1/./} - ${t0/./}))"$'\n'
                printf ' %s %.3f s' "$tool" "$(awk -v t="$((${t1/./} - ${t0/./}))" 'BEGIN { print t / 1e6 }')"
            else
                failed[$tool]="exit status $rc; $(cat "$build/names-stderr" "$build/names-check" | head -2 | paste -sd';')"
                printf ' %s FAILED' "$tool"
            fi
        done
        echo
    done
    local loadAfter
    loadAfter=$(cut -d' ' -f1 /proc/loadavg)
    rm -rf "$work"

    local report=$build/names-report.md q="" k="" med low high
    statOf() { printf '%s' "${times[$1]}" | sort -n | awk -v w="$2" '{ v[NR] = $1 }
        END { if (w == "median") print NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2;
              else if (w == "low") print v[1]; else print v[NR] }'; }
    s() { awk -v t="$1" 'BEGIN { printf "%.3f", t / 1e6 }'; }
    {
        echo "Measured by \`bench/write.sh names\` with quillon-tag at $(git rev-parse --short HEAD) (Release" \
            "build), $(date -u '+%Y-%m-%d %H:%M UTC'): $count files of $(du -k "$corpus/audio.mp3" | cut -f1) KB" \
            "(one LAME encode, 128 kbit/s, 3 s) named \"NNNN - Artist A - Title NNNN.mp3\", each under an" \
            "ID3v2.3 tag of one frame written by mutagen with its default padding. Each tool takes track," \
            "artist and title from the names into the ID3v2 tag of all files in one process, with all" \
            "the names on its command line. $rounds rounds, the tools' order rotated from round to" \
            "round; before each run the files are copied anew and synced, warm in the page cache." \
            "Every run is checked with mutagen (each file's track, artist and title read back as its" \
            "name gives them, the audio unchanged); a run that fails is not timed." | fmt -w 100
        echo
        echo "| Tool | How it was run | Median (s) | Lowest to highest (s) | Per file (ms) | Quillon / tool |"
        echo "| --- | --- | ---: | ---: | ---: | ---: |"
        [ -z "${failed[quillon]:-}" ] && q=$(statOf quillon median)
        for tool in "${tools[@]}"; do
            if [ -n "${failed[$tool]:-}" ]; then
                printf '| %s | %s | failed | | | %s |\n' "${name[$tool]}" "${how[$tool]}" "${failed[$tool]//|//}"
                continue
            fi
            med=$(statOf "$tool" median)
            [ "$tool" = kid3 ] && k=$med
            printf '| %s | %s | %s | %s to %s | %s | %s |\n' "${name[$tool]}" "${how[$tool]}" \
                "$(s "$med")" "$(s "$(statOf "$tool" low)")" "$(s "$(statOf "$tool" high)")" \
                "$(awk -v t="$med" -v n="$count" 'BEGIN { printf "%.2f", t / n / 1e3 }')" \
                "$([ -n "$q" ] && awk -v a="$q" -v b="$med" 'BEGIN { printf "%.2f", a / b }' || echo -)"
        done
        echo
        if [ -n "$q" ] && [ -n "$k" ]; then
            if awk -v a="$q" -v b="$k" 'BEGIN { exit !(a < b) }'; then
                echo "Goal: quillon-tag faster than kid3-cli's \`totag\` on the same files: **met**" \
                    "($(awk -v a="$q" -v b="$k" 'BEGIN { printf "%.2f", a / b }') of its time)."
            else
                echo "Goal: quillon-tag faster than kid3-cli's \`totag\` on the same files: **missed**" \
                    "($(awk -v a="$q" -v b="$k" 'BEGIN { printf "%.2f", a / b }') times its time)."
            fi
        else
            echo "Goal: quillon-tag faster than kid3-cli's \`totag\`: **not measured** (a tool failed its check)."
        fi
        echo
        echo "Load average (1 minute) when the timing began and ended: $loadBefore and $loadAfter" \
            "(other work shared the machine); kid3-cli $(kid3-cli --help 2>&1 | awk 'NR == 1 { print $2 }')."
    } >"$report"
    bash bench/put-section.sh names "$report"
    cat "$report"
}

if [ "${1:-}" != names ]; then
    cmake --build "$build" --target quillon-write-bench >/dev/null
    work="$build/write-files"
    mkdir -p "$work"
    out="$build/write-report.md"
    "$build/bench/quillon-write-bench" "$work" | tee "$out"
    bash bench/put-section.sh writing "$out"
fi
namesPart
