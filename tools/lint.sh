#!/usr/bin/env bash
# The house style and the short list of checks: clang-format over every C++ file of the
# project, clang-tidy over the library and the command as a native build compiles them.
# Any finding fails. `tools/lint.sh fix` formats the files in place instead of checking.
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = fix ]; then
  clang-format -i "${files[@]}"
else
  clang-format --dry-run --Werror "${files[@]}"
fi

# The compile commands of a configured tree (the generated headers come with the
# configuration; nothing is built).
build=build-lint
cmake -S . -B "$build" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
      -DPDULOG_BUILD_TESTS=OFF -DPDULOG_BUILD_EXAMPLES=OFF > /dev/null
# GCC's flag for unloadable objects is unknown to clang-tidy's compiler.
sed -i 's/ -fno-gnu-unique//g' "$build/compile_commands.json"
if run-clang-tidy -quiet -p "$build" "$PWD/src/" > "$build/tidy.log" 2>&1; then
  echo "lint: clean"
else
  grep -v -e '^[0-9]* warnings\? generated' -e '^clang-tidy-14 ' "$build/tidy.log" >&2
  echo "lint: findings above" >&2
  exit 1
fi
