#!/usr/bin/env bash
# Measures postlint-report against xmllint (parsing the export once, the floor) and against the
# same analysis written with Python and lxml, on generated exports of 10, 100 and 300 MB.
# Usage: bench/run-cli-bench.sh [SIZE_MB ...]      (run from anywhere; exports are cached)
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-packages.sh libxml2-utils python3-lxml time python3
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target postlint-report >/dev/null

sizes=("$@")
[ ${#sizes[@]} -eq 0 ] && sizes=(10 100 300)
cache=bench/cache
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
mkdir -p "$cache"

# Prints "seconds peak-kilobytes" of one command, its output and exit status discarded (the
# report exits 1 when some post is not well-formed).
measure() {
    /usr/bin/time -f "%e %M" -o "$out/time" "$@" >/dev/null 2>&1 || true
    tail -n 1 "$out/time"
}

printf '%-8s %-16s %9s %10s %10s %12s %10s\n' "export" "program" "time s" "peak MB" "x xmllint" "mem/file" "speed-up"
for size in "${sizes[@]}"; do
    export_file="$cache/export-${size}mb.xml"
    if [ ! -f "$export_file" ]; then
        python3 ../shared/tools/gen-wxr.py --size-mb "$size" --seed "$size" -o "$export_file" 2>/dev/null
    fi
    file_mb=$(awk -v b="$(stat -c %s "$export_file")" 'BEGIN { printf "%.1f", b / 1048576 }')

    read -r floor_s floor_kb <<<"$(measure xmllint --noout "$export_file")"
    read -r ours_s ours_kb <<<"$(measure build/bin/postlint-report --quiet --errors "$out/e.txt" --links "$out/l.txt" "$export_file")"
    read -r peer_s peer_kb <<<"$(measure /usr/bin/python3 bench/postlint_lxml.py "$export_file" "$out/pe.txt" "$out/pl.txt")"

    row() { # program seconds kilobytes
        awk -v p="$1" -v s="$2" -v kb="$3" -v f="$floor_s" -v mb="$file_mb" -v peer="$peer_s" -v e="${size}MB" \
            'BEGIN { printf "%-8s %-16s %9.2f %10.0f %9.2fx %11.2fx %9.1fx\n", e, p, s, kb / 1024, s / f, kb / 1024 / mb, peer / s }'
    }
    row "xmllint --noout" "$floor_s" "$floor_kb"
    row "postlint-report" "$ours_s" "$ours_kb"
    row "python+lxml" "$peer_s" "$peer_kb"
done
