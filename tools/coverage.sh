#!/usr/bin/env bash
# Builds the native tests with coverage counters, runs them, and prints the library's line
# and branch coverage (src/External: the library; the command's own files are left out).
# Branches that only an exception or unreachable code would take are not counted. (gcov
# counts a call that ends the process, as in a forked child, as "returned -1", which this
# gcovr cannot read: such lines are skipped.)
#   tools/coverage.sh [gcovr options]   (e.g. --html-details coverage.html)
set -euo pipefail
cd "$(dirname "$0")/.."
find build-coverage -name '*.gcda' -delete 2>/dev/null || true
cmake --workflow --preset coverage
gcovr --root . --filter 'src/External/' --exclude-throw-branches --exclude-unreachable-branches \
      --gcov-ignore-parse-errors \
      --print-summary "$@" build-coverage
