#!/usr/bin/env bash
# Builds the test programs with AddressSanitizer and UndefinedBehaviorSanitizer, in a build folder
# of their own, and runs them headless: a heap overflow, a use after free, a leak or undefined
# behaviour that the ordinary build lets pass fails the test that meets it.
# KELVARA_SANITIZE_LABELS narrows the run to some layers, e.g. 'store|platform|grid'.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$root/build-sanitize"

"$root/scripts/packages.sh"
# -O1 with line tables only: the sanitizers' own advice, and a build half as long as -O2 -g.
# Warnings stay warnings here: GCC's flow warnings (maybe-uninitialized) misfire under the
# sanitizers' instrumentation, and the ordinary build already treats warnings as errors.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
    -DKELVARA_SANITIZE=ON -DKELVARA_WERROR=OFF >/dev/null
cmake --build "$build" -j2 --target kelvara_tests

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir "$build" --output-on-failure -j2 --timeout 1200 -LE bench -L "${KELVARA_SANITIZE_LABELS:-.}"
