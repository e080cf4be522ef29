#!/usr/bin/env bash
# Our SZDD files against Debian's msexpand/mscompress, an independent implementation:
# ours -> msexpand, mscompress -> ours, ours -> ours; on text, binary and edge inputs.
# mscompress output is compared with what msexpand makes of it: for a 1-byte file
# mscompress writes a wrong literal, and both decoders must read what it wrote.
set -euo pipefail
szdd=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
head -c 0 /dev/zero > "$work/empty"
printf 'x' > "$work/one"
head -c 70000 /dev/zero | tr '\0' ' ' > "$work/spaces"
python3 -c "
import random
r = random.Random(4)
open('$work/mixed', 'wb').write(b''.join(bytes([r.choice(b'frelby ')]) for _ in range(300000)) + bytes(r.randrange(256) for _ in range(100000)))
"
cat "$szdd" "$work/mixed" > "$work/binary"
failed=0 passed=0
for f in empty one spaces mixed binary; do
  src="$work/$f"
  "$szdd" compress "$src" "$work/$f.ours"
  msexpand < "$work/$f.ours" > "$work/$f.by-msexpand" 2>/dev/null
  cp "$src" "$work/$f.theirs"
  mscompress "$work/$f.theirs" >/dev/null 2>&1   # writes FILE_ beside FILE
  "$szdd" expand "$work/$f.theirs_" "$work/$f.from-theirs"
  msexpand < "$work/$f.theirs_" > "$work/$f.theirs-expanded" 2>/dev/null
  "$szdd" expand "$work/$f.ours" "$work/$f.from-ours"
  check() { if cmp -s "$1" "$2"; then passed=$((passed + 1)); else echo "FAIL $f: $2"; failed=$((failed + 1)); fi; }
  check "$src" "$work/$f.by-msexpand"
  check "$src" "$work/$f.from-ours"
  if [ "$f" = one ]; then check "$work/$f.theirs-expanded" "$work/$f.from-theirs"; else check "$src" "$work/$f.from-theirs"; fi
done
echo "szdd peers: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
