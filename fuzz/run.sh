#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan and UBSan) in build-fuzz and runs each in turn
# for SECONDS seconds (default 30) on a copy of its committed corpus, one at a time.
# Exits non-zero when a target fails to build or any run finds a crash, a leak, a
# timeout or a sanitizer report; the reproducer is left in build-fuzz/findings/TARGET.
#
#   fuzz/run.sh [SECONDS] [TARGET...]     targets: commands fen sqvalue book pgn tbfile tbprobe
set -uo pipefail
cd "$(dirname "$0")/.."
SECONDS_EACH=${1:-30}
shift || true
TARGETS=("$@")
[ ${#TARGETS[@]} -gt 0 ] || TARGETS=(commands fen sqvalue book pgn tbfile tbprobe)
BUILD="$PWD/build-fuzz"
JOBS=${JOBS:-2}

CXX=${FUZZ_CXX:-clang++} cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORLAK_FUZZ=ON >/dev/null \
  || { echo "fuzz: cmake failed"; exit 1; }
cmake --build "$BUILD" -j"$JOBS" >"$BUILD/build.log" 2>&1 \
  || { tail -30 "$BUILD/build.log"; echo "fuzz: build failed"; exit 1; }

failed=()
for target in "${TARGETS[@]}"; do
  corpus="$BUILD/corpus/$target"
  findings="$BUILD/findings/$target"
  rm -rf "$corpus" "$findings"
  mkdir -p "$corpus" "$findings"
  cp fuzz/corpus/"$target"/* "$corpus"/
  log="$BUILD/$target.log"
  dict=()
  [ -f "fuzz/$target.dict" ] && dict=(-dict="$PWD/fuzz/$target.dict")
  echo "fuzz: $target for ${SECONDS_EACH}s"
  # -timeout: one input taking more than 10 s is a finding; -rss_limit_mb: the same for memory.
  "$BUILD/fuzz/${target}_fuzz" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 \
    -max_len=4096 "${dict[@]}" -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" >"$log" 2>&1
  status=$?
  # The last status line (cov, ft, corp, exec/s) and the final stats.
  grep -E "^#[0-9]+[[:space:]]+(DONE|pulse|NEW|REDUCE|INITED)" "$log" | tail -1
  grep -E "^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)" "$log" \
    | sed 's/^stat:://; s/: */=/' | tr '\n' ' '
  echo
  if [ $status -ne 0 ]; then
    echo "fuzz: $target FAILED (exit $status), see $log and $findings"
    grep -E "ERROR|SUMMARY|runtime error" "$log" | head -5
    failed+=("$target")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: failures in ${failed[*]}"
  exit 1
fi
echo "fuzz: ${#TARGETS[@]} targets ran ${SECONDS_EACH}s each without findings"
