# shellcheck shell=bash
# What the paired benchmarks share (sourced by bench/run.sh and bench/join.sh):
# the timed run, the rounds in alternating order, and the table of medians.

# run LABEL COMMAND...: one timed run; appends "seconds kib" to LABEL.times.
run() {
    local label=$1; shift
    sync
    local t0=$EPOCHREALTIME
    /usr/bin/time -v -o time.out "$@" > /dev/null
    local t1=$EPOCHREALTIME
    local rss
    rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' time.out)
    awk -v a="$t0" -v b="$t1" -v r="$rss" 'BEGIN {printf "%.6f %s\n", b - a, r}' >> "$label.times"
}

# play_rounds ROUNDS OP...: each round runs OP_ours and OP_peer of every OP,
# ours first in odd rounds and the peer first in even ones.
play_rounds() {
    local rounds=$1 i op
    shift
    for ((i = 1; i <= rounds; i++)); do
        echo "round $i of $rounds"
        for op in "$@"; do
            if ((i % 2)); then "${op}_ours"; "${op}_peer"; else "${op}_peer"; "${op}_ours"; fi
        done
    done
}

median() { sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
maxrss() { awk '$2 > m {m = $2} END {print m}' "$1.times"; }

# report SIZE ROUNDS "OP:NAME"...: per operation the median time of each side,
# the median and the worst of the rounds' ratios ours / peer, and peak memory.
report() {
    local size=$1 rounds=$2 op key name ours peer
    shift 2
    echo
    echo "File: $size bytes, $rounds rounds; times are medians, ratios ours / peer per round"
    printf '%-44s %9s %9s %8s %8s %12s %12s\n' operation "ours (s)" "peer (s)" median worst \
        "ours RSS" "peer RSS"
    for op in "$@"; do
        key=${op%%:*} name=${op#*:}
        ours=$(cut -d' ' -f1 "${key}_ours.times" | median)
        peer=$(cut -d' ' -f1 "${key}_peer.times" | median)
        paste -d' ' "${key}_ours.times" "${key}_peer.times" | awk '{print $1 / $3}' > "$key.ratios"
        printf '%-44s %9.3f %9.3f %8.2f %8.2f %8s KiB %8s KiB\n' "$name" "$ours" "$peer" \
            "$(median < "$key.ratios")" "$(sort -g "$key.ratios" | tail -n 1)" \
            "$(maxrss "${key}_ours")" "$(maxrss "${key}_peer")"
    done
}
