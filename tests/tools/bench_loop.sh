#!/bin/sh
# `make run-benches` runs every benchmark program in the build's bench folder and nothing else
# there (CMake keeps bench_*_autogen folders beside them), and fails when a benchmark fails.
# Usage: bench_loop.sh SOURCE_FOLDER
set -u
src=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/bench-loop.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bench/bench_a_autogen" "$work/bench/bench_b_autogen/include"
printf '#!/bin/sh\necho ran >> "%s/ran-a"\n' "$work" > "$work/bench/bench_a"
printf '#!/bin/sh\necho ran >> "%s/ran-b"\n' "$work" > "$work/bench/bench_b"
chmod +x "$work/bench/bench_a" "$work/bench/bench_b"
echo 'not a program' > "$work/bench/bench_notes.txt"

fail() { echo "FAIL: $*"; exit 1; }
make -s -C "$src" run-benches BUILD="$work" || fail "the loop failed on a build folder of good benchmarks"
[ "$(cat "$work/ran-a" "$work/ran-b" 2>/dev/null)" = "ran
ran" ] || fail "each benchmark must run once"

printf '#!/bin/sh\nexit 3\n' > "$work/bench/bench_b"
if make -s -C "$src" run-benches BUILD="$work" >/dev/null 2>&1; then fail "a failing benchmark must fail the loop"; fi
echo "PASS"
