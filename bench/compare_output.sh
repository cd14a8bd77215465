#!/usr/bin/env bash
# Checks that two builds write the same bytes for the benchmark files: each file of
# rizeroz-generate's kinds (random, patterned, mixed; rows as expressions in the input or
# not) is converted by both builds' rizeroz to a data file, to a data file with
# --expressions and to JSON, and that JSON by each build back to a data file, and every
# pair of outputs must be identical. For changes that must not alter a byte of what is
# written or read (docs/performance.md).
# Usage: bench/compare_output.sh BEFORE-BIN AFTER-BIN DIR [MB]   (default 16)
# where each BIN is a build's bin folder (rizeroz, rizeroz-generate); DIR receives the
# files, each removed once compared (at most about 70 x MB at a time: patterned rows given
# as expressions grow some 30-fold written out in hexadecimal).
set -euo pipefail
[ $# -ge 3 ] || { sed -n '2,9p' "$0" >&2; exit 2; }
before=$1 after=$2 dir=$3 size=${4:-16}
mkdir -p "$dir"
differ=0 compared=0
for kind in random patterned mixed; do
  for made in plain expressions; do
    input="$dir/$kind-$made.xml"
    extra=()
    [ "$made" = expressions ] && extra=(--expressions)
    "$before/rizeroz-generate" "$input" --size "$size" --kind "$kind" "${extra[@]}" >/dev/null
    for output in xml expressions.xml json json.xml; do
      options=() from=$input
      [ "$output" = expressions.xml ] && options=(--expressions)
      # The JSON text of the line before, read by each build.
      [ "$output" = json.xml ] && from=$dir/input.json
      for build in before after; do
        bin=$before
        [ "$build" = after ] && bin=$after
        "$bin/rizeroz" convert "$from" "$dir/$build.$output" "${options[@]}" --quiet
      done
      [ "$output" = json ] && cp "$dir/after.json" "$dir/input.json"
      compared=$((compared + 1))
      if cmp -s "$dir/before.$output" "$dir/after.$output"; then
        echo "same: $kind-$made -> $output ($(stat -c %s "$dir/after.$output") bytes)"
      else
        echo "DIFFERENT: $kind-$made -> $output"
        differ=$((differ + 1))
      fi
      rm -f "$dir/before.$output" "$dir/after.$output"
    done
    rm -f "$input" "$dir/input.json"
  done
done
echo "$compared outputs compared, $differ different"
[ "$differ" -eq 0 ]
