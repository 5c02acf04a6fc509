# Turns a trace of quillon-probe (strace -f -s 0 -o TRACE) into the byte ranges
# it read from the files it was given, for bench/peers/floor.cpp to replay.
#
# Usage: awk -f trace-ranges.awk NAMES TRACE >RANGES
#   NAMES has the files given to the probe, one a line, as they were given.
#   RANGES gets "PATH<TAB>OFFSET<TAB>LENGTH" for each read that returned data,
#   in the order of the trace; a range read again from the same file (the
#   probe opens a file more than once) is written only once.
# Fails when a call on a traced file was split by another thread's call, as
# its range could not be told then.

BEGIN {
    traced = "^(openat|pread64|read|lseek|close)$"
}

FNR == NR {
    wanted[$0] = 1
    next
}

# Each line is "PID CALL", the PID padded with spaces.
{
    pid = $1
    call = $0
    sub(/^[0-9]+ +/, "", call)
}

# The result is after the last " = ".
function result(text, parts, n) {
    n = split(text, parts, " = ")
    return parts[n] + 0
}

# The arguments between the call's parentheses, split at ", ".
function arguments(text, args, from, to) {
    from = index(text, "(")
    to = match(text, /\) +=/)
    return split(substr(text, from + 1, to - from - 1), args, ", ")
}

call ~ /unfinished \.\.\.>$/ || call ~ /^<\.\.\. / {
    split(call, words, "[ (]")
    if (words[1] ~ traced || words[2] ~ traced)
        split_calls++
    next
}

call ~ /^openat\(AT_FDCWD, "/ {
    path = substr(call, length("openat(AT_FDCWD, \"") + 1)
    path = substr(path, 1, index(path, "\"") - 1)
    fd = result(call)
    if (fd >= 0 && (path in wanted)) {
        open_path[pid, fd] = path
        position[pid, fd] = 0
        opens++
    }
    next
}

call ~ /^pread64\(/ {
    arguments(call, args)
    if ((pid, args[1]) in open_path)
        emit(open_path[pid, args[1]], args[4], result(call))
    next
}

call ~ /^read\(/ {
    arguments(call, args)
    if ((pid, args[1]) in open_path) {
        n = result(call)
        emit(open_path[pid, args[1]], position[pid, args[1]], n)
        if (n > 0)
            position[pid, args[1]] += n
    }
    next
}

call ~ /^lseek\(/ {
    arguments(call, args)
    if ((pid, args[1]) in open_path)
        position[pid, args[1]] = result(call)
    next
}

call ~ /^close\(/ {
    arguments(call, args)
    delete open_path[pid, args[1]]
    delete position[pid, args[1]]
    next
}

function emit(path, offset, count) {
    if (count <= 0)
        return
    reads++
    key = path SUBSEP offset SUBSEP count
    if (key in seen)
        return
    seen[key] = 1
    printf "%s\t%d\t%d\n", path, offset, count
}

END {
    if (split_calls) {
        printf "trace-ranges: %d calls on traced files were split by other threads\n",
            split_calls > "/dev/stderr"
        exit 1
    }
}
