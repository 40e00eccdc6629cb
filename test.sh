#!/usr/bin/env bash
# Runs every test (window tests need a display: the whole run goes under Xvfb). Arguments go to ctest:
# `./test.sh -LE long` is the quick set (without the soak and the traffic run), `./test.sh -R Name` picks tests.
set -euo pipefail
cd "$(dirname "$0")"
build_dir=${SKYLOOM_BUILD_DIR:-build}
[ -f "$build_dir/CMakeCache.txt" ] || ./setup.sh
cmake --build "$build_dir" -j "$(nproc)"
# For a sanitizer build (SKYLOOM_CMAKE_ARGS=-DSKYLOOM_SANITIZE=ON): the toolkit's libraries keep memory
# for the life of the process, and a failed huge allocation returns null as it does without the sanitizer.
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/sanitizer/lsan.supp}
export ASAN_OPTIONS=${ASAN_OPTIONS:-allocator_may_return_null=1}
ctest_args=(--test-dir "$build_dir" --output-on-failure -j "$(nproc)" --timeout 600 "$@")
if [ -n "${DISPLAY:-}" ] && [ -z "${CI:-}" ]; then
  ctest "${ctest_args[@]}"
else
  xvfb-run -a -s "-screen 0 1280x1024x24" ctest "${ctest_args[@]}"
fi
