#!/usr/bin/env bash
# tintwell-sheet against ImageMagick on the same jobs, as whole processes:
#   make 16million out.bmp   vs  convert hald:16 out.bmp   (all 16,777,216 colours)
#   make 16million out.png   vs  convert hald:16 out.png
#   census sheet.png         vs  identify -format %k sheet.png   (distinct colours)
#   census --mode 16million copy.jpg (every measure)  vs  compare -metric PSNR sheet.png copy.jpg null:
#   census --mode 64kilo screenshot (finding the sheet) vs  compare -subimage-search (with a time-out)
#   census --mode auto screenshot (any of the eight sheets) vs census --mode 64kilo
#   census of a screenshot made 1280x720 (bicubic) vs the same at 1:1
#   diagnose of a BGR screenshot, no mode  vs  census --mode 1million in RGB
#   JPEG captures at random places and qualities: how many placed exactly
#   apply (a graded sheet, a .cube) to a 6000 x 4000 BMP  vs  ffmpeg lut3d, convert -hald-clut;
#   lut of a graded sheet to a 65-point .cube (see the end of this file)
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
compare=/usr/bin/compare
timer=/usr/bin/time

for program in "$sheet" "$convert" "$identify" "$compare" "$timer"; do
    if [ ! -x "$program" ]; then
        echo "sheet-bench: $program is missing (build the release preset; scripts/ensure-packages installs imagemagick, ffmpeg and time)" >&2
        exit 2
    fi
done

work="$(mktemp -d "${BENCH_DIR:-$root/build/release}/sheet-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# One run of a command: prints "seconds kilobytes". Exit status 1 (a
# difference found) counts as success when ANSWER_IS_STATUS is set.
measure_once() {
    local start end status=0
    start=$EPOCHREALTIME
    "$timer" -f '%M' -o "$work/rss" "$@" >"$work/stdout" 2>"$work/stderr" || status=$?
    if [ "$status" -ne 0 ] && { [ "$status" -ne 1 ] || [ -z "${ANSWER_IS_STATUS:-}" ]; }; then
        echo "sheet-bench: failed: $*" >&2
        cat "$work/stderr" >&2
        exit 2
    fi
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

# Every measure of a JPEG copy against the one metric compare gives.
"$convert" "$work/sheet.png" -quality 85 "$work/copy85.jpg"
ANSWER_IS_STATUS=1 compare "16million vs its JPEG-85 copy: census, every measure / compare -metric PSNR" 1 - \
    -- "$sheet" census "$work/copy85.jpg" --mode 16million \
    -- "$compare" -metric PSNR "$work/sheet.png" "$work/copy85.jpg" null:
our_psnr=$("$sheet" census "$work/copy85.jpg" --mode 16million | sed -n 's/^PSNR: \([^ ]*\) dB$/\1/p' || true)
their_psnr=$("$compare" -metric PSNR "$work/sheet.png" "$work/copy85.jpg" null: 2>&1 || true)

# Finding the 64kilo sheet in a 1920x1080 screenshot: ours in turns as
# above; ImageMagick's sub-image search once, stopped after SEARCH_LIMIT s.
search_limit="${SEARCH_LIMIT:-120}"
"$sheet" make 64kilo "$work/64kilo.png"
"$convert" -size 1920x1080 gradient:'#1d3557'-'#457b9d' -fill '#e0e0e0' -draw "rectangle 0,0 1920,40" \
    -fill '#f1faee' -draw "rectangle 100,120 900,700" -fill '#a8dadc' -draw "rectangle 1150,480 1500,820" \
    "$work/64kilo.png" -geometry +1203+517 -composite -depth 8 "$work/screenshot.png"
"$convert" "$work/screenshot.png" -quality 85 "$work/screenshot85.jpg"
search() {
    local name="$1" shot="$2"
    ANSWER_IS_STATUS=1 measure_once "$sheet" census "$shot" --mode 64kilo >/dev/null
    : >"$work/ours"
    for ((i = 0; i < runs; i++)); do
        ANSWER_IS_STATUS=1 measure_once "$sheet" census "$shot" --mode 64kilo >>"$work/ours"
    done
    local our_wall our_rss their
    our_wall=$(cut -d' ' -f1 "$work/ours" | median)
    our_rss=$(cut -d' ' -f2 "$work/ours" | median)
    local start end status=0
    start=$EPOCHREALTIME
    timeout "$search_limit" "$compare" -subimage-search -metric RMSE "$shot" "$work/64kilo.png" null: \
        >/dev/null 2>"$work/search" || status=$?
    end=$EPOCHREALTIME
    if [ "$status" -eq 124 ]; then
        their="more than $search_limit s"
        ratio="more than $(awk -v o="$our_wall" -v l="$search_limit" 'BEGIN { printf "%.0f", l / o }')x faster"
    else
        their="$(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f s", e - s }')"
        ratio="$(awk -v s="$start" -v e="$end" -v o="$our_wall" 'BEGIN { printf "%.0fx faster", (e - s) / o }')"
    fi
    awk -v name="$name" -v ow="$our_wall" -v orss="$our_rss" -v their="$their" -v ratio="$ratio" 'BEGIN {
        v = ow <= 0.3 ? "met" : "NOT met"
        printf "| %s | %.3f s, %.0f MiB (target <= 0.3 s: %s) | %s | %s (target >= 100x) | - |\n",
            name, ow, orss / 1024, v, their, ratio
    }'
    echo "$("$sheet" census "$shot" --mode 64kilo | grep -E '^(offset|differing pixels|PSNR)' | paste -sd ' ')" >"$work/found-$name"
}
search "find 64kilo in a 1920x1080 screenshot (PNG)" "$work/screenshot.png"
search "find 64kilo in a 1920x1080 screenshot (JPEG 85)" "$work/screenshot85.jpg"

# Any of the eight sheets, 1:1 and scaled, in one pass, against the search
# for the one sheet named: the same screenshot.
echo
echo "| job | census --mode auto | census --mode 64kilo | wall time ratio | peak memory ratio |"
echo "|---|---|---|---|---|"
ANSWER_IS_STATUS=1 compare "find any sheet / find 64kilo, 1920x1080 screenshot (PNG)" 2 - \
    -- "$sheet" census "$work/screenshot.png" --mode auto \
    -- "$sheet" census "$work/screenshot.png" --mode 64kilo

# Captures that are not the sheet 1:1: the whole 1920x1080 screenshot holding
# 256killo made 1280x720 by ffmpeg (bicubic), against the same screenshot
# 1:1; and a 1920x1200 screenshot holding 1million in BGR order diagnosed
# with no mode, against the census of it in RGB order with its mode named.
"$sheet" make 256killo "$work/256killo.png"
"$sheet" make 1million "$work/1million.png"
"$convert" -size 1080x1920 gradient:'#203040'-'#a0b0c0' -rotate 90 -fill '#e8e8e8' \
    -draw "rectangle 580,241 979,300" "$work/256killo.png" -geometry +613+301 -composite "PNG24:$work/shot256.png"
/usr/bin/ffmpeg -v error -y -i "$work/shot256.png" -vf scale=1280:720:flags=bicubic "$work/shot256-720.png"
"$convert" -size 1200x1920 gradient:'#203040'-'#a0b0c0' -rotate 90 "$work/1million.png" -geometry +407+77 \
    -composite "PNG24:$work/shot1m.png"
"$convert" "$work/shot1m.png" -separate '(' -clone 2 ')' '(' -clone 1 ')' '(' -clone 0 ')' -delete 0-2 -combine \
    "PNG24:$work/shot1m-bgr.png"
ANSWER_IS_STATUS=1 compare "find 256killo, 1920x1080 made 1280x720 (bicubic) / at 1:1" 3 - \
    -- "$sheet" census "$work/shot256-720.png" --mode auto \
    -- "$sheet" census "$work/shot256.png" --mode auto
ANSWER_IS_STATUS=1 compare "diagnose 1million in BGR, no mode / census --mode 1million in RGB, 1920x1200" 2 - \
    -- "$sheet" diagnose "$work/shot1m-bgr.png" \
    -- "$sheet" census "$work/shot1m.png" --mode 1million
echo "$("$sheet" census "$work/shot256-720.png" --mode auto | grep -E '^(offset|scale|interior pixels|mean dE2000)' | paste -sd ' ')" \
    >"$work/found-256killo made 1280x720 (bicubic)"

# Placement of JPEG captures: a sheet at a random place in a 1920x1080
# screenshot, through a tone curve or none, saved as JPEG at a random quality
# from 85 to 95 with 4:2:0 or 4:4:4: how many the census places exactly.
placed=0 placements="${PLACEMENTS:-20}"
RANDOM=29
for ((i = 0; i < placements; i++)); do
    case $((i % 3)) in 0) name=64kilo side=256 ;; 1) name=256killo side=512 ;; 2) name=1million side=1024 ;; esac
    x=$((RANDOM % (1920 - side) + 1)) y=$((RANDOM % (1080 - side) + 1)) quality=$((RANDOM % 11 + 85))
    sampling=$([ $((RANDOM % 2)) -eq 0 ] && echo 2x2 || echo 1x1)
    gamma=$([ $((RANDOM % 2)) -eq 0 ] && echo 1 || echo 0.8)
    "$convert" -size 1080x1920 gradient:'#203040'-'#a0b0c0' -rotate 90 "$work/$name.png" -geometry "+$x+$y" -composite \
        -gamma "$gamma" -quality "$quality" -sampling-factor "$sampling" "$work/placed.jpg"
    where=$("$sheet" census "$work/placed.jpg" --mode "$name" | grep '^offset: ' || true)
    if [ "$where" = "offset: $x $y" ]; then
        placed=$((placed + 1))
    else
        echo "placed elsewhere: $name at $x $y, JPEG $quality $sampling, gamma $gamma: ${where:-not found}" \
            >>"$work/misplaced"
    fi
done

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
echo "PSNR of the JPEG-85 copy: tintwell-sheet $our_psnr dB, ImageMagick $their_psnr dB"
for found in "$work"/found-*; do
    echo "${found##*/found-}: $(cat "$found")"
done
echo "JPEG captures placed exactly: $placed of $placements"
[ -f "$work/misplaced" ] && cat "$work/misplaced"
ours_count=$("$sheet" census "$work/sheet.png" | sed -n 's/^distinct: //p')
their_count=$("$identify" -format %k "$work/sheet.png")
echo "distinct colours counted: tintwell-sheet $ours_count, ImageMagick $their_count"
echo "PNG file sizes: tintwell-sheet $(stat -c %s "$work/sheet.png") bytes, ImageMagick $(stat -c %s "$work/hald.png") bytes"
echo "BMP file sizes: tintwell-sheet $(stat -c %s "$work/sheet.bmp") bytes, ImageMagick $(stat -c %s "$work/hald.bmp") bytes"

# --- Look-up tables: grading a 6000 x 4000 picture (BMP in, BMP out) --------
# The grade is ImageMagick's -modulate 110,130,95: done to the 16million sheet
# (a PNG, as editors export it) for apply, to hald:16 for ImageMagick's
# -hald-clut, and turned into 33- and 65-point .cube files (by lut) for
# ffmpeg's lut3d. The reference is the grade done by ImageMagick to the
# picture itself; each result's share of exact pixels and its largest error
# (in levels) follow the table. ImageMagick's -hald-clut takes 20 s or more a
# run: it runs SLOW_RUNS times (default 1).
ffmpeg=/usr/bin/ffmpeg
compare_im=/usr/bin/compare
if [ -x "$ffmpeg" ] && [ -x "$compare_im" ]; then
    grade=(-modulate 110,130,95)
    slow_runs="${SLOW_RUNS:-1}"
    "$convert" -seed 7 -size 1500x1000 plasma:fractal -resize '6000x4000!' -attenuate 0.15 +noise Gaussian \
        -depth 8 -type TrueColor "$work/photo.bmp"
    "$convert" "$work/sheet.png" "${grade[@]}" -depth 8 "PNG24:$work/graded.png"
    "$convert" hald:16 "${grade[@]}" -depth 8 "PNG24:$work/graded-hald16.png"
    # The reference goes through ImageMagick's PNG writer, which rounds to
    # the nearest level; its BMP writer truncates (the last exactness line).
    "$convert" "$work/photo.bmp" "${grade[@]}" -depth 8 "PNG24:$work/reference.png"
    "$convert" "$work/photo.bmp" "${grade[@]}" "$work/reference-as-bmp.bmp"
    "$sheet" lut "$work/graded.png" --mode 16million --size 33 -o "$work/graded33.cube"
    "$sheet" lut "$work/graded.png" --mode 16million --size 65 -o "$work/graded65.cube"

    echo
    echo "| job (6000x4000 BMP in and out) | tintwell-sheet | other | wall time ratio | peak memory ratio |"
    echo "|---|---|---|---|---|"
    compare "apply edited 16million PNG / ffmpeg lut3d 33-point" 0.8 - \
        -- "$sheet" apply "$work/graded.png" "$work/photo.bmp" "$work/ours-sheet.bmp" --mode 16million \
        -- "$ffmpeg" -v error -y -i "$work/photo.bmp" -vf "lut3d=file=$work/graded33.cube:interp=tetrahedral" \
        "$work/ffmpeg33.bmp"
    runs=$slow_runs compare "apply edited 16million PNG / ImageMagick -hald-clut hald:16" 0.05 - \
        -- "$sheet" apply "$work/graded.png" "$work/photo.bmp" "$work/ours-sheet.bmp" --mode 16million \
        -- "$convert" "$work/photo.bmp" "$work/graded-hald16.png" -hald-clut "$work/im-hald16.bmp"
    compare "apply 65-point .cube (tetrahedral) / ffmpeg lut3d" 0.7 - \
        -- "$sheet" apply "$work/graded65.cube" "$work/photo.bmp" "$work/ours65.bmp" \
        -- "$ffmpeg" -v error -y -i "$work/photo.bmp" -vf "lut3d=file=$work/graded65.cube:interp=tetrahedral" \
        "$work/ffmpeg65.bmp"

    # lut alone, against its own target.
    measure_once "$sheet" lut "$work/graded.png" --mode 16million --size 65 -o "$work/graded65.cube" >/dev/null
    : >"$work/lut"
    for ((i = 0; i < runs; i++)); do
        measure_once "$sheet" lut "$work/graded.png" --mode 16million --size 65 -o "$work/graded65.cube" >>"$work/lut"
    done
    awk -v w="$(cut -d' ' -f1 "$work/lut" | median)" -v m="$(cut -d' ' -f2 "$work/lut" | median)" 'BEGIN {
        printf "| lut of the edited 16million PNG to a 65-point .cube | %.3f s, %.0f MiB | - | (target <= 0.6 s: %s) | - |\n",
            w, m / 1024, (w <= 0.6 ? "met" : "NOT met")
    }'

    # Exactness against the grade done to the picture itself.
    pixels=$((6000 * 4000))
    exactness() {
        local differing peak
        differing=$("$compare_im" -metric AE "$work/reference.png" "$1" null: 2>&1 || true)
        peak=$("$compare_im" -metric PAE "$work/reference.png" "$1" null: 2>&1 || true)
        awk -v name="$2" -v d="${differing%% *}" -v p="${peak%% *}" -v n="$pixels" 'BEGIN {
            printf "%s: %.2f %% of pixels exact, largest error %d levels\n", name, 100 * (n - d) / n, p / 257 + 0.5
        }'
    }
    echo
    exactness "$work/ours-sheet.bmp" "apply, edited 16million sheet"
    exactness "$work/ours65.bmp" "apply, 65-point .cube"
    exactness "$work/ffmpeg33.bmp" "ffmpeg lut3d, 33-point .cube"
    exactness "$work/ffmpeg65.bmp" "ffmpeg lut3d, 65-point .cube"
    exactness "$work/im-hald16.bmp" "ImageMagick -hald-clut, hald:16"
    exactness "$work/reference-as-bmp.bmp" "ImageMagick's own grade of the picture, written as BMP"
else
    echo
    echo "sheet-bench: ffmpeg or ImageMagick's compare is missing: the look-up table rows are skipped" >&2
fi
