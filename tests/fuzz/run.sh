#!/usr/bin/env bash
# Fuzzes one target with libFuzzer for a while: tests/fuzz/run.sh TARGET SECONDS [libFuzzer options].
# Builds the clang build (build-fuzz/) first. A finding lands in build-fuzz/artifacts/TARGET/: mend
# it, and add the input to tests/fuzz/corpus/TARGET/ so that the replay test keeps it.
set -uo pipefail
source "$(dirname "$0")/fuzz_common.sh"
if (($# < 2)); then
  echo "usage: $0 TARGET SECONDS   (targets: $(fuzz_targets | tr '\n' ' '))" >&2
  exit 2
fi
fuzz_available || { echo "clang with libFuzzer is not installed (SKYLOOM_FUZZ=1 ./setup.sh)" >&2; exit 1; }
fuzz_build "$1" || exit 1
fuzz_run "$1" "$2"
