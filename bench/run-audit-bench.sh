#!/usr/bin/env bash
# What the audit costs: postlint-report with and without --audit on the 300 MB generated export
# (gen-wxr.py --size-mb 300 --seed 42), wall time, CPU time and peak resident memory, one right
# after the other in each round; then the window's check with and without the audit
# (audit-bench). With PEER set to the directory of another build's postlint-report, that report is
# measured in the same rounds, for before and after.
# Usage: bench/run-audit-bench.sh [ROUNDS]   (default 3; the export is cached)
set -euo pipefail
cd "$(dirname "$0")/.."

rounds=${1:-3}
scripts/setup-packages.sh time python3
cmake --preset default -DPOSTLINT_BENCHMARKS=ON >/dev/null
cmake --build --preset default -j "$(nproc)" --target postlint-report audit-bench >/dev/null

cache=bench/cache
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
mkdir -p "$cache"
big="$cache/export-300mb-seed42.xml"
[ -f "$big" ] || python3 ../shared/tools/gen-wxr.py --size-mb 300 --seed 42 -o "$big" >/dev/null

# Prints "seconds peak-megabytes cpu-seconds" of one command, its output and exit status
# discarded (the report exits 1 when some post is not well-formed).
measure() {
    /usr/bin/time -f "%e %M %U %S" -o "$out/time" "$@" >/dev/null 2>&1 || true
    awk '{ printf "%s %.0f %.2f\n", $1, $2 / 1024, $3 + $4 }' "$out/time" | tail -n 1
}

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)"
builds=(build/bin)
[ -n "${PEER:-}" ] && builds+=("$PEER")
printf '%-5s %-28s %-14s %7s %7s %8s %9s\n' round build report "time s" "cpu s" "peak MB" \
    "x plain"
# Per build, the times of each round, for the summary: on a shared virtual machine one round can
# be slowed by a neighbour, and the median and the fastest of several say more than any one.
declare -A times
for round in $(seq 1 "$rounds"); do
    for dir in "${builds[@]}"; do
        read -r plain_s plain_m plain_c <<<"$(measure "$dir/postlint-report" --quiet "$big")"
        read -r audit_s audit_m audit_c <<<"$(measure "$dir/postlint-report" --quiet --audit "$big")"
        times[$dir]+="$plain_s $audit_s "
        printf '%-5s %-28.28s %-14s %7.2f %7.2f %8d %8.2fx\n' "$round" "$dir" plain \
            "$plain_s" "$plain_c" "$plain_m" 1
        printf '%-5s %-28.28s %-14s %7.2f %7.2f %8d %8.2fx\n' "$round" "$dir" "--audit" \
            "$audit_s" "$audit_c" "$audit_m" "$(awk -v a="$audit_s" -v p="$plain_s" \
            'BEGIN { print a / p }')"
    done
done
# The median and the least of each series, and --audit's ratio by either; then the median of the
# rounds' own ratios, each of two runs one right after the other, which a machine whose speed drifts
# from minute to minute touches least.
for dir in "${builds[@]}"; do
    echo "${times[$dir]}" | awk -v dir="$dir" '
        function median(a, n,    i, j, t) {
            for (i = 2; i <= n; i++)
                for (j = i; j > 1 && a[j - 1] > a[j]; j--) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t }
            return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
        }
        { for (i = 1; i <= NF; i += 2) { p[++n] = $i; a[n] = $(i + 1); r[n] = a[n] / p[n] } }
        END {
            rm = median(r, n); pm = median(p, n); am = median(a, n)
            printf "%-5s %-28.28s %-14s %7.2f %7s %8s %8.2fx\n", "median", dir, "plain", pm, "", "", 1
            printf "%-5s %-28.28s %-14s %7.2f %7s %8s %8.2fx\n", "median", dir, "--audit", am, "", "",
                am / pm
            printf "%-5s %-28.28s %-14s %7.2f %7s %8s %8.2fx\n", "least", dir, "plain", p[1], "", "", 1
            printf "%-5s %-28.28s %-14s %7.2f %7s %8s %8.2fx\n", "least", dir, "--audit", a[1], "", "",
                a[1] / p[1]
            printf "%-5s %-28.28s %-14s %7s %7s %8s %8.2fx\n", "rounds", dir, "median ratio", "", "", "",
                rm
        }'
done
QT_QPA_PLATFORM=offscreen build/bin/audit-bench "$big" "$rounds"
