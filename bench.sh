#!/usr/bin/env bash
# Builds the benchmarks in Release and runs them; figures are written down in bench/README.md.
set -euo pipefail
TALLYFOX_ROOT=$(cd "$(dirname "$0")" && pwd)
source "$TALLYFOX_ROOT/scripts/deps.sh"

# mmv: the command line's benchmark runs it beside `tallyfox number`.
tallyfox_install_packages "${TALLYFOX_BUILD_PACKAGES[@]}" libbenchmark-dev mmv
tallyfox_build "$TALLYFOX_ROOT/build/bench" Release -DTALLYFOX_BENCHMARKS=ON -DTALLYFOX_TESTS=OFF
cd "$TALLYFOX_ROOT/build/bench"
for b in bin/bench_*; do
    [ -x "$b" ] || continue
    "$b" "$@"
done
