#!/usr/bin/env bash
# Makes the picture fuzzer's seeds from the shared corpus: each file prefixed with the byte that
# tells the fuzzer which extension to give it (0 bmp, 1 jpg, 3 gif, 4 ico, 5 cur, 6 wmf; 7 a colour
# profile alone, from the system's profiles). Given the hostile-picture generator too, adds its
# small hostile files (scan bombs, huge screens, hostile profiles...).
set -euo pipefail
corpus=${1:?corpus folder}
out=${2:?output folder}
hostile=${3:-}
mkdir -p "$out"
if [ -n "$hostile" ]; then
  "$hostile" "$out"
fi
for f in /usr/share/color/icc/colord/*.icc; do
  [ -f "$f" ] || continue
  { printf '\x07'; cat "$f"; } > "$out/profile-$(basename "$f" .icc)"
done
[ -d "$corpus" ] || { echo "no corpus at $corpus: starting from nothing"; exit 0; }
declare -A kind=([bmp]=0 [jpeg]=1 [gif]=3 [ico]=4 [cur]=5 [wmf]=6)
for k in "${!kind[@]}"; do
  [ -d "$corpus/$k" ] || continue
  byte=$(printf '\\x%02x' "${kind[$k]}")
  find "$corpus/$k" -type f ! -name 'SOURCES.txt' ! -name '*.txt' ! -name '*.html' ! -name '*.png' -size -2M -print0 |
    while IFS= read -r -d '' f; do
      name=$(printf '%s' "$f" | md5sum | cut -c1-16)
      { printf "$byte"; cat "$f"; } > "$out/$k-$name"
    done
done
