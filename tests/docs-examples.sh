#!/usr/bin/env bash
# Runs the worked examples of the docs against vantrel-cli-demo, so that the
# docs cannot drift from what the program prints. An example is a fenced
# block right after a line
#
#   <!-- example: SHELL COMMANDS -->
#
# The commands set the bench up (in a fresh folder, with "vantrel-cli" on
# the PATH standing for vantrel-cli-demo); then each line of the block that
# starts with "$ " is run by bash there, and what it prints, every line's
# "[simulated] " mark taken off, must be the lines that follow it up to the
# next "$ " line. A line "..." stands for any number of lines.
#
# Usage: tests/docs-examples.sh DEMO-BINARY FILE.md...
set -euo pipefail
demo="$(readlink -f "$1")"; shift
failures=0
examples=0

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin"
ln -s "$demo" "$work/bin/vantrel-cli"
ln -s "$demo" "$work/bin/vantrel-cli-demo"

# Matches the output against the expected lines, "..." for any run of lines.
matches() { # expected-file actual-file
  python3 - "$1" "$2" <<'PY'
import sys
expected = open(sys.argv[1]).read().splitlines()
actual = open(sys.argv[2]).read().splitlines()
def match(e, a):
    if not e:
        return not a
    if e[0] == "...":
        return any(match(e[1:], a[i:]) for i in range(len(a) + 1))
    return bool(a) and a[0] == e[0] and match(e[1:], a[1:])
sys.exit(0 if match(expected, actual) else 1)
PY
}

run_example() { # file line setup block-file
  local file="$1" line="$2" setup="$3" block="$4"
  local dir="$work/example-$examples"
  mkdir -p "$dir"
  export VANTREL_CLI_DEMO_STATE="$dir/.bench"
  (cd "$dir" && PATH="$work/bin:$PATH" bash -c "$setup" > "$dir/.setup.log" 2>&1) || {
    echo "FAIL $file:$line: the set-up failed: $setup"; cat "$dir/.setup.log"; failures=$((failures + 1)); return; }
  local command="" expected="$dir/.expected" actual="$dir/.actual"
  : > "$expected"
  flush() {
    [ -n "$command" ] || return 0
    (cd "$dir" && PATH="$work/bin:$PATH" bash -c "$command" 2>&1 || true) | sed 's/^\[simulated\] //' > "$actual"
    sed -i 's/^\[simulated\] //' "$expected"
    if ! matches "$expected" "$actual"; then
      echo "FAIL $file:$line: \$ $command"
      diff "$expected" "$actual" | sed 's/^/    /' || true
      failures=$((failures + 1))
    fi
    : > "$expected"
  }
  while IFS= read -r text; do
    if [[ "$text" == '$ '* ]]; then
      flush
      command="${text#\$ }"
    else
      printf '%s\n' "$text" >> "$expected"
    fi
  done < "$block"
  flush
}

for file in "$@"; do
  n=0 setup="" inblock=0 pending=0 start=0
  while IFS= read -r text || [ -n "$text" ]; do
    n=$((n + 1))
    if [ "$inblock" = 1 ]; then
      if [[ "$text" == '```'* ]]; then
        inblock=0
        examples=$((examples + 1))
        run_example "$file" "$start" "$setup" "$work/block"
      else
        printf '%s\n' "$text" >> "$work/block"
      fi
      continue
    fi
    if [[ "$text" =~ ^\<\!--\ example:\ (.*)\ --\>$ ]]; then
      setup="${BASH_REMATCH[1]}"; pending=1; continue
    fi
    if [ "$pending" = 1 ] && [[ "$text" == '```'* ]]; then
      inblock=1 pending=0 start=$n
      : > "$work/block"
    fi
  done < "$file"
done

echo "$((examples - failures)) passed, $failures failed"
[ "$failures" = 0 ] && [ "$examples" -gt 0 ]
