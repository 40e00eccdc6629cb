#!/usr/bin/env bash
# Fuzzes every target for SKYLOOM_FUZZ_SECONDS (default 60; 0 skips) when clang with libFuzzer is
# there, as many targets at a time as there are cores (SKYLOOM_FUZZ_JOBS), so the wall time stays
# ceil(targets / cores) * seconds. Fails on any crash, leak, time-out or memory limit.
set -uo pipefail
source "$(dirname "$0")/fuzz_common.sh"
seconds=${SKYLOOM_FUZZ_SECONDS:-60}
# The gate repeats itself: one seed unless told otherwise (tests/fuzz/run.sh explores with new ones).
export SKYLOOM_FUZZ_SEED=${SKYLOOM_FUZZ_SEED-1}
if [ "$seconds" = 0 ]; then
  echo "fuzzing skipped (SKYLOOM_FUZZ_SECONDS=0)"
  exit 0
fi
if ! fuzz_available; then
  echo "fuzzing skipped: clang with libFuzzer is not installed"
  exit 0
fi
fuzz_build || exit 1
# From the committed seeds alone, as on a clean clone.
rm -rf "$fuzz_build/corpus"

mapfile -t targets < <(fuzz_targets)
jobs=${SKYLOOM_FUZZ_JOBS:-$(nproc)}
logs="$fuzz_build/logs"
mkdir -p "$logs"
failed=()
for ((i = 0; i < ${#targets[@]}; i += jobs)); do
  batch=("${targets[@]:i:jobs}")
  pids=()
  for t in "${batch[@]}"; do
    fuzz_run "$t" "$seconds" >"$logs/$t.log" 2>&1 &
    pids+=($!)
  done
  for k in "${!batch[@]}"; do
    t=${batch[$k]}
    status=0
    wait "${pids[$k]}" || status=$?
    # A time-out is a finding when its input is slow on its own too: run alone, it must again pass the
    # limit (a shared machine can stall a run for a second now and then).
    slow=$(grep -o "Test unit written to .*/timeout-[0-9a-f]*" "$logs/$t.log" | sed 's/^Test unit written to //')
    if ((status)) && [ -n "$slow" ] && "$fuzz_build/tests/fuzz/${t}_fuzz" -timeout=1 "$slow" >"$logs/$t.again.log" 2>&1; then
      echo "fuzz $t: a time-out that its input does not repeat alone ($(grep -o 'in [0-9]* ms' "$logs/$t.again.log")): machine load"
      status=0
    fi
    if ((status == 0)); then
      echo "fuzz $t: $(grep -o 'stat::number_of_executed_units: *[0-9]*' "$logs/$t.log" | grep -o '[0-9]*$') inputs," \
           "$(grep -o 'cov: [0-9]*' "$logs/$t.log" | tail -1)"
    else
      failed+=("$t")
      echo "fuzz $t: FAILED"
      grep -E 'ERROR|SUMMARY|Test unit written|deadly signal|timeout|out-of-memory' "$logs/$t.log" | head -20
    fi
  done
done

# The gate must be able to fail: the scenery file decoder built with its test-only one-byte over-read
# (in a folder of its own) must fail a short run, reported by AddressSanitizer in the decoder. Skipped
# when the main run was already built with that fault, or with SKYLOOM_FUZZ_PLANTED_CHECK=0.
planted_check() {
  local fuzz_build="${fuzz_build}-planted"
  local log="$fuzz_build/planted.log"
  local limit=$((seconds < 30 ? seconds : 30))
  mkdir -p "$fuzz_build"
  SKYLOOM_FUZZ_CMAKE_ARGS="${SKYLOOM_FUZZ_CMAKE_ARGS:-} -DSKYLOOM_FUZZ_PLANTED_FAULT=ON" fuzz_build bgl \
    >"$fuzz_build/build.log" 2>&1 || { tail -20 "$fuzz_build/build.log"; return 1; }
  rm -rf "$fuzz_build/corpus" "$fuzz_build/artifacts"
  if fuzz_run bgl "$limit" >"$log" 2>&1; then
    echo "fuzz planted fault: NOT FOUND in ${limit}s, the gate cannot see an over-read (log: $log)"
    return 1
  fi
  if ! grep -q 'AddressSanitizer: heap-buffer-overflow' "$log" || ! grep -q 'gf_decodeBgl' "$log"; then
    echo "fuzz planted fault: the run failed, but not on the planted over-read (log: $log)"
    grep -E 'ERROR|SUMMARY' "$log" | head -5
    return 1
  fi
  echo "fuzz planted fault: found ($(grep -o 'SUMMARY: .*' "$log" | head -1))"
}
if [ "${SKYLOOM_FUZZ_PLANTED_CHECK:-1}" != 0 ] && [[ "${SKYLOOM_FUZZ_CMAKE_ARGS:-}" != *PLANTED_FAULT* ]]; then
  planted_check || failed+=("planted-fault-check")
fi

if ((${#failed[@]})); then
  echo "fuzzing found faults in: ${failed[*]} (inputs in $fuzz_build/artifacts/)"
  exit 1
fi
echo "fuzzing: ${#targets[@]} targets, ${seconds}s each, no finding; the planted fault is seen"
