#!/usr/bin/env bash
# Builds the libFuzzer targets with clang into build-fuzz and runs each for a
# bounded time (FUZZ_SECONDS, default 60). A crash, a sanitizer report, a
# leak, a slow input or memory beyond the limits fails the run; the
# reproducer is left in build-fuzz/artifacts. New corpus entries go to
# build-fuzz/corpus, never into the committed seeds.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
seconds=${FUZZ_SECONDS:-60}

cmake -S "$root/fuzz" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"${JOBS:-2}"

export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:allocator_may_return_null=1"
export LSAN_OPTIONS="suppressions=$root/sanitizers/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_QPA_PLATFORM=offscreen

status=0
for target in receive stats; do
    corpus=$build/corpus/$target
    artifacts=$build/artifacts/$target/
    mkdir -p "$corpus" "$artifacts"
    seeds=()
    [ -d "$root/fuzz/corpus/$target" ] && seeds=("$root/fuzz/corpus/$target")
    dict=()
    [ -f "$root/fuzz/$target.dict" ] && dict=(-dict="$root/fuzz/$target.dict")
    echo "== fuzz_$target for ${seconds}s"
    # -rss_limit_mb and -malloc_limit_mb turn memory growth into a failure;
    # -timeout catches an input that makes the code spin.
    if ! "$build/fuzz_$target" "$corpus" "${seeds[@]}" "${dict[@]}" \
        -max_total_time="$seconds" -rss_limit_mb=1024 -malloc_limit_mb=256 -timeout=10 \
        -max_len=8192 -detect_leaks=1 -print_final_stats=1 -artifact_prefix="$artifacts" \
        2>"$build/fuzz_$target.log"; then
        status=1
        tail -n 60 "$build/fuzz_$target.log"
        echo "fuzz_$target FAILED; reproducer in $artifacts"
    fi
    grep -E '^stat::(number_of_executed_units|peak_rss_mb|new_units_added)' "$build/fuzz_$target.log" || true
done
exit $status
