#!/usr/bin/env bash
# Measures postlint-report against xmllint on two generated exports: 300 MB of realistic posts
# (gen-wxr.py --size-mb 300 --seed 42) and 6 million tiny items (gen-tiny-items.py). Each round
# runs every program once, one right after the other, and the ratios are taken within a round,
# so that a machine shared with other work compares like with like.
# Usage: bench/run-cli-bench.sh [ROUNDS [TINY_ROUNDS]]   (defaults 3 and 1; exports are cached)
set -euo pipefail
cd "$(dirname "$0")/.."

rounds=${1:-3}
tiny_rounds=${2:-1}
scripts/setup-packages.sh libxml2-utils time python3
cmake --preset default -DPOSTLINT_BENCHMARKS=ON >/dev/null
cmake --build --preset default -j "$(nproc)" --target postlint-report two-parse-floor >/dev/null

cache=bench/cache
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
mkdir -p "$cache"
big="$cache/export-300mb-seed42.xml"
tiny="$cache/tiny-6m.xml"
[ -f "$big" ] || python3 ../shared/tools/gen-wxr.py --size-mb 300 --seed 42 -o "$big" >/dev/null
[ -f "$tiny" ] || python3 bench/gen-tiny-items.py 6000000 "$tiny"

# Prints "seconds peak-megabytes cpu-seconds" of one command, its output and exit status
# discarded (the report exits 1 when some post is not well-formed).
measure() {
    /usr/bin/time -f "%e %M %U %S" -o "$out/time" "$@" >/dev/null 2>&1 || true
    awk '{ printf "%s %.0f %.2f\n", $1, $2 / 1024, $3 + $4 }' "$out/time" | tail -n 1
}

report=build/bin/postlint-report
declare -A labels=(
    [xmllint]="xmllint --noout" [stream]="xmllint --stream --noout" [floor]="two-parse floor"
    [tables]="report, both tables"
    [text]="report --format text" [json]="report --format json" [sarif]="report --format sarif"
)
declare -A programs=(
    [xmllint]="xmllint --noout"
    [stream]="xmllint --stream --noout"
    [floor]="build/bin/two-parse-floor"
    [tables]="$report --quiet --errors $out/e.txt --links $out/l.txt"
    [text]="$report"
    [json]="$report --format json"
    [sarif]="$report --format sarif"
)
order=(xmllint stream floor tables text json sarif)

printf '%-6s %-5s %-24s %7s %7s %8s %10s %10s %8s %8s\n' export round program "time s" "cpu s" \
    "peak MB" "x --noout" "x --stream" "x floor" "x text"
for file in "$big" "$tiny"; do
    name=$(basename "$file" .xml)
    count=$rounds
    [ "$file" = "$tiny" ] && count=$tiny_rounds
    for round in $(seq 1 "$count"); do
        declare -A seconds=() megabytes=() cpu=()
        for key in "${order[@]}"; do
            # xmllint's tree of 6 million items would take gigabytes: only its stream mode there.
            if [ "$file" = "$tiny" ] && [ "$key" = xmllint ]; then continue; fi
            read -r seconds[$key] megabytes[$key] cpu[$key] <<<"$(measure ${programs[$key]} "$file")"
        done
        for key in "${order[@]}"; do
            [ -n "${seconds[$key]:-}" ] || continue
            awk -v e="${name:0:6}" -v r="$round" -v p="${labels[$key]}" \
                -v s="${seconds[$key]}" -v m="${megabytes[$key]}" -v x="${seconds[xmllint]:-0}" \
                -v c="${cpu[$key]}" \
                -v st="${seconds[stream]}" -v fl="${seconds[floor]}" -v t="${seconds[text]}" \
                -v k="$key" 'BEGIN {
                    xr = x > 0 ? sprintf("%.2fx", s / x) : "-";
                    tr = (k == "json" || k == "sarif") ? sprintf("%.2fx", s / t) : "";
                    printf "%-6s %-5s %-24.24s %7.2f %7.2f %8d %10s %9.2fx %7.2fx %8s\n", e, r, p, s, c,
                           m, xr, s / st, s / fl, tr }'
        done
        unset seconds megabytes cpu
    done
done
