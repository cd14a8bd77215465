#!/usr/bin/env bash
# Times two builds of rizeroz-bench side by side on one file, for "before and after"
# figures on a machine whose speed varies from one minute to the next: each round runs the
# earlier build and then the later one (reading without and with warnings and from memory, and writing into
# /dev/null, in child processes of their own, best of 3 each), so that a busy spell touches
# both alike. Prints the best time of each over the rounds and the later one's share of
# the earlier one's.
# Usage: bench/compare_builds.sh BEFORE-BENCH AFTER-BENCH FILE [ROUNDS]   (default 5)
# where each BENCH is a build's bin/rizeroz-bench (docs/performance.md).
set -euo pipefail
[ $# -ge 3 ] || { sed -n '2,9p' "$0" >&2; exit 2; }
before=$1 after=$2 file=$3 rounds=${4:-5}
lines=(read read-warnings read-memory write-null)

declare -A times
for ((round = 1; round <= rounds; round++)); do
  for build in before after; do
    bench=$before
    [ "$build" = after ] && bench=$after
    output=$("$bench" "$file" --no-peers --repeat 3)
    for line in "${lines[@]}"; do
      t=$(awk -v name="$line" '$1 == name && $2 ~ /^[0-9.]+$/ { print $2 }' <<<"$output")
      key="$build $line"
      if [ -z "${times[$key]:-}" ] || awk -v a="$t" -v b="${times[$key]}" 'BEGIN { exit !(a < b) }'; then
        times[$key]=$t
      fi
    done
  done
  echo "round $round of $rounds: load $(cut -d' ' -f1 /proc/loadavg)" >&2
done
printf '%-14s %10s %10s %13s\n' "" "before s" "after s" "after/before"
for line in "${lines[@]}"; do
  b=${times["before $line"]} a=${times["after $line"]}
  printf '%-14s %10s %10s %13.2f\n' "$line" "$b" "$a" "$(awk -v a="$a" -v b="$b" 'BEGIN { print a / b }')"
done
