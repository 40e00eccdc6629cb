# Shared by run.sh and ci.sh: the libFuzzer build in a folder of its own and one run of one target.
# SKYLOOM_FUZZ_BUILD_DIR (default build-fuzz) and SKYLOOM_FUZZ_CMAKE_ARGS (e.g. the planted fault
# -DSKYLOOM_FUZZ_PLANTED_FAULT=ON, best with a build folder of its own) choose the build.

fuzz_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source_dir=$(cd "$fuzz_dir/../.." && pwd)
fuzz_build=${SKYLOOM_FUZZ_BUILD_DIR:-$source_dir/build-fuzz}

# True when clang can link a libFuzzer program here.
fuzz_available() {
  command -v clang++ >/dev/null 2>&1 || return 1
  local probe
  probe=$(mktemp -d)
  printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' >"$probe/p.cpp"
  clang++ -fsanitize=fuzzer,address,undefined "$probe/p.cpp" -o "$probe/p" >/dev/null 2>&1
  local ok=$?
  rm -rf "$probe"
  return $ok
}

# The target names, from the corpus folders.
fuzz_targets() {
  local d
  for d in "$fuzz_dir"/corpus/*/; do basename "$d"; done
}

# Configures and builds the targets named (all when none).
fuzz_build() {
  mkdir -p "$fuzz_build"
  CC=clang CXX=clang++ cmake -S "$source_dir" -B "$fuzz_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSKYLOOM_FUZZ=ON -DSKYLOOM_BENCH=OFF ${SKYLOOM_FUZZ_CMAKE_ARGS:-} >"$fuzz_build/configure.log" 2>&1 ||
    { cat "$fuzz_build/configure.log"; return 1; }
  local targets=()
  if (($#)); then
    local t
    for t in "$@"; do targets+=("${t}_fuzz"); done
  else
    targets=(fuzz_targets)
  fi
  # Compiler cache keys free of the build folder, so that a second fuzz build folder (the planted-fault
  # check's) reuses the objects of the first.
  CCACHE_BASEDIR=${CCACHE_BASEDIR:-$source_dir} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-true} \
    cmake --build "$fuzz_build" -j "${SKYLOOM_FUZZ_JOBS:-$(nproc)}" --target "${targets[@]}"
}

# fuzz_run TARGET SECONDS: fuzzes from the committed seeds; new inputs go to a working corpus in the build
# folder (never into the committed one), a failing input to $fuzz_build/artifacts/TARGET/. One second
# per input, 2 GB of memory; leaks count. Exit status non-zero on any finding.
fuzz_run() {
  local target=$1 seconds=$2
  local work="$fuzz_build/corpus/$target" artifacts="$fuzz_build/artifacts/$target/"
  mkdir -p "$work" "$artifacts"
  local args=(-max_total_time="$seconds" -timeout=1 -rss_limit_mb=2048 -malloc_limit_mb=2048
              -print_final_stats=1 -artifact_prefix="$artifacts")
  # A fixed seed (SKYLOOM_FUZZ_SEED) makes a run repeat the inputs of an earlier one with that seed, as
  # far as its time goes: what passed here for longer passes in CI too. Empty: a new seed each run.
  [ -n "${SKYLOOM_FUZZ_SEED:-}" ] && args+=(-seed="$SKYLOOM_FUZZ_SEED")
  [ -f "$fuzz_dir/dict/$target.dict" ] && args+=(-dict="$fuzz_dir/dict/$target.dict")
  ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1} \
  UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
    "$fuzz_build/tests/fuzz/${target}_fuzz" "${args[@]}" "$work" "$fuzz_dir/corpus/$target"
}
