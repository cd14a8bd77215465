#!/usr/bin/env bash
# Tries the reader's limits at their real sizes, by hand (docs/limits.md): documents of
# several gigabytes that the tests stand in for with lowered limits. Needs about 5 GB of
# free disk at a time and 9 GB of memory, and takes some minutes.
# Usage: bench/check_limits.sh PATH/TO/rizeroz [WORK-FOLDER]
set -uo pipefail
tool=${1:?usage: $0 PATH/TO/rizeroz [WORK-FOLDER]}
work=${2:-/var/tmp/rizeroz-limits}
mkdir -p "$work"
failures=0
prolog='<?xml version="1.0" encoding="utf-8" ?>'

# `spaces N`: N blank characters, made fast.
spaces() { head -c "$1" /dev/zero | tr '\0' ' '; }

# `expect NAME FRAGMENT COMMAND...`: runs the command; its stdout and stderr must hold FRAGMENT.
expect() {
  local name=$1 fragment=$2; shift 2
  local output
  output=$("$@" 2>&1 | head -c 2000)
  if [[ "$output" == *"$fragment"* ]]; then
    echo "ok    $name"
  else
    echo "FAIL  $name: expected \"$fragment\", got: ${output:0:300}"
    failures=$((failures + 1))
  fi
}

# `peak NAME MB COMMAND...`: runs the command; its peak resident memory must stay within MB.
peak() {
  local name=$1 bound=$2; shift 2
  local used
  used=$(python3 -c 'import resource, subprocess, sys
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss // 1024)' "$@")
  if [ "$used" -le "$bound" ]; then
    echo "ok    $name: $used MB (at most $bound)"
  else
    echo "FAIL  $name: $used MB, more than $bound"
    failures=$((failures + 1))
  fi
}

doc=$work/limit.xml

# An element text past 4 GiB - 1 bytes: an error at the place, never rows cut short.
{ echo "$prolog"; printf '<SVF_Plus_Data version="1"><DataField name="A"><FieldBlock row_width="8">0x12,'
  spaces $((4 * 1024 * 1024 * 1024)); echo '0x34</FieldBlock></DataField></SVF_Plus_Data>'; } >"$doc"
expect "field block text of 4 GiB" "(error -116)" "$tool" dump "$doc"

# A comment of 2.5 GiB reads whole (it once read as empty); JSON shows it, as printf
# cannot print a text that long.
{ echo "$prolog"; printf '<SVF_Plus_Data version="1"><Comment>'
  head -c $((5 * 512 * 1024 * 1024)) /dev/zero | tr '\0' 'c'; echo '</Comment></SVF_Plus_Data>'; } >"$doc"
expect "comment of 2.5 GiB" "cccccccccccccccc" "$tool" info --json "$doc"

# An attribute value of 2 GiB: the tag is past its limit.
{ echo "$prolog"; printf '<SVF_Plus_Data version="'; spaces $((2 * 1024 * 1024 * 1024)); echo '"/>'; } >"$doc"
expect "attribute value of 2 GiB" "(error -116)" "$tool" info "$doc"
rm -f "$doc"

# Expressions standing for 1.25 GiB in a small document: past the default budget of 1 GiB.
{ echo "$prolog"; printf '<SVF_Plus_Data version="1"><DataField name="A"><FieldBlock row_width="2147483647">'
  for k in 1 2 3 4 5; do printf '(FF*268435456),'; done; echo '0x00</FieldBlock></DataField></SVF_Plus_Data>'; } >"$doc"
expect "expressions past the budget" "(error -11)" "$tool" info "$doc"

# A row width past the int range saturates instead of wrapping (4294967304 once read as 8).
{ echo "$prolog"; echo '<SVF_Plus_Data version="1"><DataField name="A"><FieldBlock row_width="4294967304">0x12'
  echo '</FieldBlock></DataField></SVF_Plus_Data>'; } >"$doc"
expect "row width past the int range" "row width 2147483647 bits" "$tool" info "$doc"
rm -f "$doc"

# Memory of texts of 1 GiB (docs/limits.md): a comment is held by the parser and by the
# model, also when converted to JSON; a tag is held by the window and by the parser's node,
# and a field name once more by the model. A row that an expression stands for is held
# once, also while it is written as JSON.
gib=$((1024 * 1024 * 1024)) json=$work/limit.json
{ echo "$prolog"; printf '<SVF_Plus_Data version="1"><Comment>'; spaces $gib | tr ' ' c; echo '</Comment></SVF_Plus_Data>'; } >"$doc"
peak "info of a comment of 1 GiB" $((2 * 1024 + 64)) "$tool" info "$doc"
peak "convert to JSON of a comment of 1 GiB" $((2 * 1024 + 64)) "$tool" convert "$doc" "$json"
{ echo "$prolog"; printf '<SVF_Plus_Data version="1"><DataField name="'; spaces $gib | tr ' ' n; echo '"/></SVF_Plus_Data>'; } >"$doc"
peak "info of a field name of 1 GiB" $((3 * 1024 + 64)) "$tool" info "$doc"
{ echo "$prolog"; printf '<SVF_Plus_Data version="1"><DataField name="A" other="'; spaces $gib; echo '"/></SVF_Plus_Data>'; } >"$doc"
peak "info of an unknown attribute of 1 GiB" $((2 * 1024 + 64)) "$tool" info "$doc"
{ echo "$prolog"; echo '<SVF_Plus_Data version="1"><DataField name="A"><FieldBlock row_width="2147483647">(A5*268435456)'
  echo '</FieldBlock></DataField></SVF_Plus_Data>'; } >"$doc"
peak "convert to JSON of an expression row of 256 MiB" $((256 + 64)) "$tool" convert "$doc" "$json"
rm -f "$doc" "$json"

# JSON: a row of 2^31 + 1 bytes (once cut to its length modulo 2^32, a 1-byte row "A5") and
# a comment of 4 GiB + 10 characters (once read as 10) are refused with the limit named,
# and convert leaves OUT as it was.
json=$work/limit.json out=$work/out.xml
echo '<SVF_Plus_Data version="1"/>' >"$out"
{ printf '{"version": "1", "fields": [{"name": "A", "blocks": [{"row_width": 8, "rows": ["'
  head -c $((4 * 1024 * 1024 * 1024)) /dev/zero | tr '\0' 'A'; echo 'A5"]}]}]}'; } >"$json"
expect "JSON row of 2 GiB + 1 byte" "the most a row holds" "$tool" convert "$json" "$out"
{ printf '{"version": "1", "comment": "'; head -c $((4 * 1024 * 1024 * 1024 + 10)) /dev/zero | tr '\0' 'c'
  echo '", "fields": []}'; } >"$json"
expect "JSON comment of 4 GiB + 10 bytes" "the most a text holds" "$tool" convert "$json" "$out"
expect "OUT untouched by the refusals" '<SVF_Plus_Data version="1"/>' cat "$out"
rm -f "$json" "$out"

echo "$failures failed"
[ "$failures" = 0 ]
