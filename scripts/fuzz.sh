#!/bin/bash
# Builds the libFuzzer targets (preset "fuzz", clang) and runs each one:
# first over its seed corpus, every seed once, then fuzzing for a fixed
# time. The seeds in fuzz/corpus/ are only read; new inputs go to a
# working copy under build/fuzz/. Exits non-zero when any target crashes,
# times out, leaks, runs out of memory or breaks an invariant, and says
# where the input that did it was saved.
#
#   bash scripts/fuzz.sh [SECONDS]     (default: $TOLVANE_FUZZ_SECONDS, else 20)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-${TOLVANE_FUZZ_SECONDS:-20}}"
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
  echo "fuzz.sh: the fuzzing time must be a positive number of seconds, not '$seconds'" >&2
  exit 2
fi

targets=(cli paths quoting heading utf pe_imports)
build=build/fuzz
options=(-timeout=10 -rss_limit_mb=2048)

[ -f "$build/CMakeCache.txt" ] || cmake --preset fuzz
cmake --build --preset fuzz

failed=()
for name in "${targets[@]}"; do
  exe="$build/fuzz/${name}_fuzz"
  seeds="fuzz/corpus/$name"
  work="$build/corpus/$name"
  artifacts="$build/artifacts/$name"
  rm -rf "$artifacts"
  mkdir -p "$work" "$artifacts"
  # The working copy keeps what earlier runs found, plus the current seeds.
  cp -f "$seeds"/* "$work"/

  echo "=== $name: every seed once"
  # Seeds given as files are run once each; nothing is written beside them.
  log="$artifacts/seeds.log"
  if ! "$exe" "${options[@]}" -artifact_prefix="$artifacts/" "$seeds"/* >"$log" 2>&1; then
    tail -n 30 "$log"
    seed=$(grep '^Running: ' "$log" | tail -n 1 | cut -d' ' -f2-)
    failed+=("$name (seed ${seed:-unknown})")
    continue
  fi
  echo "$(grep -c '^Running: ' "$log") seeds passed"
  rm -f "$log"

  echo "=== $name: fuzzing for $seconds s"
  log="$artifacts/fuzz.log"
  if "$exe" "${options[@]}" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$artifacts/" "$work" >"$log" 2>&1; then
    grep -E '^(Done|stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb))' "$log"
    rm -f "$log"
  else
    tail -n 40 "$log"
    failed+=("$name")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo >&2
  for entry in "${failed[@]}"; do
    name="${entry%% *}"
    echo "fuzz.sh: FAILED: $entry" >&2
    saved=$(find "$build/artifacts/$name" -type f ! -name '*.log' 2>/dev/null | sort)
    if [ -n "$saved" ]; then
      echo "  input saved as:" >&2
      echo "$saved" | sed "s|^|    $PWD/|" >&2
      echo "  reproduce: $build/fuzz/${name}_fuzz <input>" >&2
    elif [[ "$entry" == *"(seed "* ]]; then
      echo "  the input is that seed; reproduce: $build/fuzz/${name}_fuzz <seed>" >&2
    else
      echo "  (no input saved; see the output above)" >&2
    fi
  done
  exit 1
fi
echo "fuzz.sh: all ${#targets[@]} targets passed (${seconds} s each)"
