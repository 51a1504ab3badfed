#!/usr/bin/env bash
# The house style, the short list of checks and the commit subjects: clang-format over every
# C++ file of the project; clang-tidy over every source of the library and the command as a
# native build compiles them, the fault build's too, as the 64-bit Windows build compiles
# them, and over every header of src/ and include/ they include; the subjects of the commits since the check began, 72 characters at
# most. Any finding fails.
#   tools/lint.sh          check
#   tools/lint.sh fix      format the files in place instead of checking them
# LINT_SUBJECTS_BASE=<rev> checks the subjects after <rev> instead of after the recorded base.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(git rev-parse --show-toplevel)

mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = fix ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
clang-format --dry-run --Werror "${files[@]}"

# Commit subjects after the base: the commit before the check was added, recorded here.
base=${LINT_SUBJECTS_BASE:-$(cat tools/subjects-base)}
if git cat-file -e "$base^{commit}" 2>/dev/null; then
  long=$(git log --format='%h%x09%s' "$base..HEAD" | awk -F'\t' 'length($2) > 72')
  if [ -n "$long" ]; then
    printf '%s\n' "$long" >&2
    echo "lint: the commit subjects above are longer than 72 characters" >&2
    exit 1
  fi
else
  echo "lint: commit subjects not checked: $base is not in this clone (a shallow clone?);" \
       "fetch its history, or name a base with LINT_SUBJECTS_BASE" >&2
fi

# The compile commands of a configured tree with the fault build (the generated headers come
# with the configuration; nothing is built).
build=build-lint
cmake -S . -B "$build" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
      -DPDULOG_BUILD_TESTS=ON -DPDULOG_BUILD_EXAMPLES=ON > /dev/null
# GCC's flag for unloadable objects is unknown to clang-tidy's compiler.
sed -i 's/ -fno-gnu-unique//g' "$build/compile_commands.json"
# Headers are checked where this checkout's own src/ and include/ are, wherever it sits: its
# path is matched as it stands (a path may hold a + or a dot).
escaped=$(printf '%s' "$root" | sed 's/[][\.*^$+?(){}|]/\\&/g')
tidy() {  # BUILD [EXTRA ARGUMENT...]: every source of src/ in BUILD's compile commands
  local tree=$1
  shift
  # CMake names no standard where the compiler's default is C++17 already; clang's is not.
  if ! run-clang-tidy -quiet -p "$tree" -extra-arg=-std=c++17 "$@" -header-filter="^$escaped/(src|include)/" \
       "^$escaped/src/" > "$tree/tidy.log" 2>&1; then
    grep -v -e '^[0-9]* warnings\? generated' -e '^clang-tidy-14 ' "$tree/tidy.log" >&2
    echo "lint: findings above" >&2
    exit 1
  fi
}
tidy "$build"

# The Windows files, as the 64-bit mingw-w64 build compiles them: clang reads them for
# Windows, with mingw-w64's C++ library and system headers (not GCC's own intrinsics).
mingw=x86_64-w64-mingw32-g++-posix
if ! command -v "$mingw" > /dev/null; then
  echo "lint: the Windows files need $mingw (tools/install-deps.sh installs it)" >&2
  exit 1
fi
windows=build-lint-windows
cmake -S . -B "$windows" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
      -DPDULOG_BUILD_TESTS=OFF -DPDULOG_BUILD_EXAMPLES=OFF > /dev/null
sed -i 's/ -fno-keep-inline-dllexport//g' "$windows/compile_commands.json"
system=(--target=x86_64-w64-mingw32 -nostdinc++)
while read -r folder; do
  case $folder in */include | */include-fixed) ;; *) system+=(-isystem"$folder") ;; esac
done < <(echo | "$mingw" -E -x c++ -std=c++17 - -v 2>&1 | sed -n '/<...> search starts here/,/End of search list/p' \
           | sed -n 's/^ \(\/.*\)/\1/p')
system+=(-isystem"/usr/x86_64-w64-mingw32/include")
tidy "$windows" "${system[@]/#/-extra-arg-before=}"
echo "lint: clean"
