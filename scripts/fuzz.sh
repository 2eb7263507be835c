#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang (AddressSanitizer + UndefinedBehavior-
# Sanitizer) and runs each in turn for DURATION seconds (default 120) on one job:
#   scripts/fuzz.sh [DURATION] [TARGET...]      e.g. scripts/fuzz.sh 60 HiveFuzz
# Corpora (seeded from the image kit and the real samples), logs and any crashing inputs stay in
# build-fuzz/ (FUZZ_BUILD overrides): corpus-<target>/, fuzz-<target>.log, findings-<target>/.
set -euo pipefail
DURATION="${1:-120}"
shift || true
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${FUZZ_BUILD:-$ROOT/build-fuzz}"
SAMPLES="$ROOT/../shared/samples"
CXX="${FUZZ_CXX:-clang++}"

if ! command -v "$CXX" >/dev/null; then
  echo "fuzz.sh: $CXX not found; the fuzz targets need clang with libFuzzer" >&2
  exit 2
fi
cmake -S "$ROOT/tests/fuzz" -B "$BUILD" -DCMAKE_CXX_COMPILER="$CXX" >/dev/null
make -C "$BUILD" -j2 --no-print-directory

# Seeds: the kit's writers, then the real samples where they are (copied, never linked, so that
# libFuzzer's additions to a corpus cannot touch them).
"$BUILD/quillon-fuzz-seeds" "$BUILD"
seed() { # target, files...
  local target="$1"
  shift
  for f in "$@"; do
    [ -f "$f" ] && cp -f "$f" "$BUILD/corpus-$target/sample-$(basename "$f")"
  done
  return 0
}
if [ -d "$SAMPLES" ]; then
  seed FFMorkSimpleFuzz "$SAMPLES"/mork/*
  seed PEVersionsFuzz "$SAMPLES"/pe/*
  seed HiveFuzz "$SAMPLES"/registry/*
  seed O4CookieFuzz "$SAMPLES"/opera/*cookies4.dat
  seed O4CacheFuzz "$SAMPLES"/opera/*dcache4.url
  seed OperaHotlistFuzz "$SAMPLES"/opera/*.adr
  seed OperaHistoryFuzz "$SAMPLES"/opera/*global_history.dat
  # IndexDatFuzz reads a file without the bitmap part of its header (bytes 0x250 to 0x4000).
  mkdir -p "$BUILD/corpus-IndexDatFuzz"
  for f in "$SAMPLES"/ie/*; do
    [ -f "$f" ] && { head -c 592 "$f" && tail -c +16385 "$f"; } >"$BUILD/corpus-IndexDatFuzz/sample-$(basename "$f")"
  done
fi

if [ "$#" -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for src in "$ROOT"/tests/fuzz/*Fuzz.cpp; do
    targets+=("$(basename "$src" .cpp)")
  done
fi

status=0
summary=()
for target in "${targets[@]}"; do
  corpus="$BUILD/corpus-$target"
  findings="$BUILD/findings-$target"
  log="$BUILD/fuzz-$target.log"
  mkdir -p "$corpus" "$findings"
  # Hives are large and each run walks the whole tree: cap the input size to keep runs quick
  # (longer seeds are cut, which still leaves real key trees to mutate).
  case "$target" in
  HiveFuzz) maxlen=262144 ;;
  # The text-store targets repeat their input up to 128 times (hostile sizes): 512 KB at most.
  CookiesTxtFuzz | BookmarksHtmlFuzz) maxlen=4096 ;;
  # Index files: the samples, compacted, are up to 33 KB.
  IndexDatFuzz) maxlen=40000 ;;
  # The real cache index is 62 KB.
  O4CacheFuzz) maxlen=65536 ;;
  *) maxlen=16384 ;;
  esac
  echo "== $target: ${DURATION}s"
  start=$(date +%s)
  set +e
  "$BUILD/$target" "$corpus" -max_total_time="$DURATION" -timeout=10 -rss_limit_mb=2048 -max_len="$maxlen" \
    -print_final_stats=1 -artifact_prefix="$findings/" >"$log" 2>&1
  rc=$?
  set -e
  elapsed=$(($(date +%s) - start))
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  last=$(grep -E '^#[0-9]+' "$log" | tail -1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  found=$(find "$findings" -type f | wc -l)
  summary+=("$(printf '%-22s execs %-10s %4ss  cov %-6s ft %-6s exit %-3s findings %s' \
    "$target" "${execs:-?}" "$elapsed" "${cov:-?}" "${ft:-?}" "$rc" "$found")")
  if [ "$rc" -ne 0 ] || [ "$found" -ne 0 ]; then
    status=1
    grep -E 'ERROR|SUMMARY|runtime error|Test unit written' "$log" | head -5 || true
  fi
done

echo "== Summary (logs: $BUILD/fuzz-<target>.log)"
printf '%s\n' "${summary[@]}"
exit "$status"
