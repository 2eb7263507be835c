#!/usr/bin/env bash
# Reproduces the figures of docs/PERFORMANCE.md: quillon-cli end to end on demo images that hold
# one large store each, beside the anchor that reads the same file (the sqlite3 shell, a plain
# Python Mork reader, reading the file once). Wall time is the median of RUNS paired runs (ours,
# then the anchor, in turn), beside it the median processor time (user + system); peak memory is
# the largest resident size /usr/bin/time reports.
#
#   scripts/perf.sh [WORKDIR]     RUNS=5 by default; WORKDIR defaults to /tmp/quillon-perf
#
# Needs: cmake, g++, libbenchmark-dev (make bench installs it), sqlite3, python3, /usr/bin/time.
set -euo pipefail

cd "$(dirname "$0")/.."
WORK=${1:-/tmp/quillon-perf}
RUNS=${RUNS:-5}
BENCH_BUILD=${BENCH_BUILD:-build-bench}
JOBS=${JOBS:-2}

cmake -S . -B "$BENCH_BUILD" -DCMAKE_BUILD_TYPE=Release -DQUILLON_BUILD_BENCH=ON >/dev/null
cmake --build "$BENCH_BUILD" -j"$JOBS" --target quillon-cli quillon-make-perf-image >/dev/null
CLI=$BENCH_BUILD/quillon-cli
MAKE_IMAGE=$BENCH_BUILD/quillon-make-perf-image

mkdir -p "$WORK"
declare -A STORE
for kind in cookies visits mork; do
  if [[ ! -f $WORK/$kind.store ]]; then
    "$MAKE_IMAGE" "$kind" "$WORK/$kind" >"$WORK/$kind.store"
  fi
  STORE[$kind]=$(cat "$WORK/$kind.store")
done

# Paired: ours and the anchor in turn, RUNS times; prints one table row.
paired() {
  local label=$1 size=$2
  shift 2
  local ours=() anchor=() split
  split=$(printf '%s\n' "$@" | grep -n -x -- '--' | cut -d: -f1)
  ours=("${@:1:split-1}")
  anchor=("${@:split+1}")
  local t1=() t2=() c1=() c2=() p1=0 p2=0 out=$WORK/time.txt
  for ((i = 0; i < RUNS; i++)); do
    /usr/bin/time -f "%e %M %U %S" -o "$out" "${ours[@]}" >/dev/null 2>&1
    read -r t m u k <"$out"; t1+=("$t"); c1+=("$(echo "$u + $k" | bc)"); ((m > p1)) && p1=$m
    /usr/bin/time -f "%e %M %U %S" -o "$out" "${anchor[@]}" >/dev/null 2>&1
    read -r t m u k <"$out"; t2+=("$t"); c2+=("$(echo "$u + $k" | bc)"); ((m > p2)) && p2=$m
  done
  awk -v l="$label" -v a="$(median "${t1[@]}")" -v b="$(median "${t2[@]}")" \
    -v ca="$(median "${c1[@]}")" -v cb="$(median "${c2[@]}")" -v p="$p1" -v q="$p2" -v s="$size" 'BEGIN {
    printf "| %s | %.2f s (cpu %.2f s) | %.2f s (cpu %.2f s) | %.2fx | %.0f MB (%.2fx store) | %.0f MB |\n",
      l, a, ca, b, cb, (b > 0 ? a / b : 0), p / 1024, p * 1024 / s, q / 1024 }'
}

median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

size_of() { stat -c %s "$1"; }

echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "Runs: $RUNS paired; median wall time; peak resident memory"
echo
echo "| what | quillon-cli | anchor | ratio | quillon-cli peak | anchor peak |"
echo "|---|---|---|---|---|---|"
COOKIES=${STORE[cookies]}
paired "200,000 Firefox cookies ($(($(size_of "$COOKIES") / 1048576)) MB): \`profiles\` vs \`sqlite3 'SELECT * FROM moz_cookies'\`" \
  "$(size_of "$COOKIES")" \
  "$CLI" --image "$WORK/cookies" profiles -- sqlite3 -readonly "$COOKIES" 'SELECT * FROM moz_cookies'
paired "200,000 Firefox cookies: \`show 0 cookies\` vs the same shell" "$(size_of "$COOKIES")" \
  "$CLI" --image "$WORK/cookies" show 0 cookies -- sqlite3 -readonly "$COOKIES" 'SELECT * FROM moz_cookies'

VISITS=${STORE[visits]}
JOIN='SELECT visits.id, visits.visit_time, urls.title, urls.url FROM visits LEFT JOIN urls ON visits.url=urls.id'
paired "600,000 Chrome visits ($(($(size_of "$VISITS") / 1048576)) MB): \`profiles\` vs the shell's join" \
  "$(size_of "$VISITS")" \
  "$CLI" --image "$WORK/visits" profiles -- sqlite3 -readonly "$VISITS" "$JOIN"

MORK=${STORE[mork]}
paired "Mork history ($(($(size_of "$MORK") / 1048576)) MB): \`show 1 history\` vs reading the file once (\`cat\`)" \
  "$(size_of "$MORK")" \
  "$CLI" --image "$WORK/mork" show 1 history -- cat "$MORK"
RUNS_SAVED=$RUNS
RUNS=${PY_RUNS:-1}
paired "Mork history: \`show 1 history\` vs scripts/perf_mork.py" "$(size_of "$MORK")" \
  "$CLI" --image "$WORK/mork" show 1 history -- python3 scripts/perf_mork.py "$MORK"
RUNS=$RUNS_SAVED
echo
echo "Mork rows: $("$CLI" --image "$WORK/mork" show 1 history | tail -n +2 | wc -l)"
