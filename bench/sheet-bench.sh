#!/usr/bin/env bash
# tintwell-sheet against ImageMagick on the same jobs, as whole processes:
#   make 16million out.bmp   vs  convert hald:16 out.bmp   (all 16,777,216 colours)
#   make 16million out.png   vs  convert hald:16 out.png
#   census sheet.png         vs  identify -format %k sheet.png   (distinct colours)
# and the answers from the table of sheets alone, against fixed limits:
#   modes, locate 16million 90ff20   (each under 20 ms and 30 MiB)
# Each process runs under /usr/bin/time for its maximum resident size; its
# wall time is taken around it to the microsecond. The two programs take
# turns, a warm-up run first, and the median of RUNS runs counts.
#
#   bench/sheet-bench.sh [path/to/tintwell-sheet]
#   RUNS=9 BENCH_DIR=/some/disk bench/sheet-bench.sh
#
# The files go to BENCH_DIR (default: a folder in build/release, so on the
# disk a user would write to, not a RAM disk) and are removed at the end.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
sheet="${1:-$root/build/release/src/sheet/tintwell-sheet}"
runs="${RUNS:-5}"
# The real ImageMagick, by path: a stand-in of the same name may come first
# on PATH.
convert=/usr/bin/convert
identify=/usr/bin/identify
timer=/usr/bin/time

for program in "$sheet" "$convert" "$identify" "$timer"; do
    if [ ! -x "$program" ]; then
        echo "sheet-bench: $program is missing (build the release preset; scripts/ensure-packages installs imagemagick and time)" >&2
        exit 2
    fi
done

work="$(mktemp -d "${BENCH_DIR:-$root/build/release}/sheet-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# One run of a command: prints "seconds kilobytes".
measure_once() {
    local start end
    start=$EPOCHREALTIME
    "$timer" -f '%M' -o "$work/rss" "$@" >"$work/stdout" 2>"$work/stderr" || {
        echo "sheet-bench: failed: $*" >&2
        cat "$work/stderr" >&2
        exit 2
    }
    end=$EPOCHREALTIME
    echo "$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.4f", e - s }') $(tail -n 1 "$work/rss")"
}

median() {
    sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# compare NAME WALL_TARGET RSS_TARGET -- OUR COMMAND -- THEIR COMMAND
# Runs both in turns and prints a table row: medians, ratios, targets.
compare() {
    local name="$1" wall_target="$2" rss_target="$3"
    shift 4
    local ours=() theirs=()
    while [ "$1" != "--" ]; do ours+=("$1"); shift; done
    shift
    theirs=("$@")

    measure_once "${ours[@]}" >/dev/null
    measure_once "${theirs[@]}" >/dev/null
    : >"$work/ours" && : >"$work/theirs"
    for ((i = 0; i < runs; i++)); do
        measure_once "${ours[@]}" >>"$work/ours"
        measure_once "${theirs[@]}" >>"$work/theirs"
    done

    local our_wall our_rss their_wall their_rss
    our_wall=$(cut -d' ' -f1 "$work/ours" | median)
    our_rss=$(cut -d' ' -f2 "$work/ours" | median)
    their_wall=$(cut -d' ' -f1 "$work/theirs" | median)
    their_rss=$(cut -d' ' -f2 "$work/theirs" | median)
    awk -v name="$name" -v ow="$our_wall" -v orss="$our_rss" -v tw="$their_wall" -v trss="$their_rss" \
        -v wt="$wall_target" -v rt="$rss_target" 'BEGIN {
        wr = ow / tw; rr = orss / trss
        wv = (wt == "-") ? "" : (wr <= wt ? " (target <= " wt ": met)" : " (target <= " wt ": NOT met)")
        rv = (rt == "-") ? "" : (rr <= rt ? " (target <= " rt ": met)" : " (target <= " rt ": NOT met)")
        printf "| %s | %.3f s, %.0f MiB | %.3f s, %.0f MiB | %.2fx%s | %.2fx%s |\n",
            name, ow, orss / 1024, tw, trss / 1024, wr, wv, rr, rv
    }'
}

echo "tintwell-sheet: $sheet ($("$sheet" --version))"
echo "ImageMagick: $("$convert" -version | head -n 1)"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg); $runs runs each, medians; files in $(dirname "$work")"
echo
echo "| job | tintwell-sheet | ImageMagick | wall time ratio | peak memory ratio |"
echo "|---|---|---|---|---|"

compare "16million to BMP" 0.35 0.5 \
    -- "$sheet" make 16million "$work/sheet.bmp" \
    -- "$convert" hald:16 "$work/hald.bmp"

compare "16million to PNG" 0.5 - \
    -- "$sheet" make 16million "$work/sheet.png" \
    -- "$convert" hald:16 "$work/hald.png"

# Both count the same file, the sheet as tintwell-sheet writes it.
compare "distinct colours of sheet.png" 0.05 0.15 \
    -- "$sheet" census "$work/sheet.png" \
    -- "$identify" -format %k "$work/sheet.png"

# alone NAME WALL_LIMIT_S RSS_LIMIT_MIB -- COMMAND
# Runs one command RUNS times and prints a table row: medians against limits.
alone() {
    local name="$1" wall_limit="$2" rss_limit="$3"
    shift 4
    measure_once "$@" >/dev/null
    : >"$work/alone"
    for ((i = 0; i < runs; i++)); do
        measure_once "$@" >>"$work/alone"
    done
    awk -v name="$name" -v w="$(cut -d' ' -f1 "$work/alone" | median)" -v r="$(cut -d' ' -f2 "$work/alone" | median)" \
        -v wl="$wall_limit" -v rl="$rss_limit" 'BEGIN {
        printf "| %s | %.1f ms (limit %.0f ms: %s) | %.1f MiB (limit %.0f MiB: %s) |\n", name,
            w * 1000, wl * 1000, (w <= wl ? "met" : "NOT met"), r / 1024, rl, (r / 1024 <= rl ? "met" : "NOT met")
    }'
}

echo
echo "| answer without drawing | wall time | peak memory |"
echo "|---|---|---|"
alone "modes" 0.020 30 -- "$sheet" modes
alone "locate 16million 90ff20" 0.020 30 -- "$sheet" locate 16million 90ff20

echo
ours_count=$("$sheet" census "$work/sheet.png" | sed -n 's/^distinct: //p')
their_count=$("$identify" -format %k "$work/sheet.png")
echo "distinct colours counted: tintwell-sheet $ours_count, ImageMagick $their_count"
echo "PNG file sizes: tintwell-sheet $(stat -c %s "$work/sheet.png") bytes, ImageMagick $(stat -c %s "$work/hald.png") bytes"
echo "BMP file sizes: tintwell-sheet $(stat -c %s "$work/sheet.bmp") bytes, ImageMagick $(stat -c %s "$work/hald.bmp") bytes"
