#!/usr/bin/env bash
# The lint's own check: a finding planted in a public header of a scratch checkout, at a path
# with a + in it, must be reported by tools/lint.sh there. Run by .ci/run.
set -euo pipefail
cd "$(dirname "$0")/.."
scratch=$(mktemp -d "${TMPDIR:-/tmp}/lint+planted.XXXXXX")
trap 'git worktree remove --force "$scratch/tree" >/dev/null 2>&1 || true; rm -rf "$scratch"' EXIT
git worktree add --detach "$scratch/tree" HEAD >/dev/null 2>&1
header=include/pdulog/CLog.h
printf '\ninline double PdulogPlantedFinding(int a, int b) { return a / b; }\n' >> "$scratch/tree/$header"
clang-format -i "$scratch/tree/$header"
if (cd "$scratch/tree" && tools/lint.sh) > "$scratch/out" 2>&1; then
  echo "lint-planted: a finding planted in $header was not reported" >&2
  exit 1
fi
if ! grep -q "$header:.*bugprone-integer-division" "$scratch/out"; then
  cat "$scratch/out" >&2
  echo "lint-planted: the lint failed, but not on the finding planted in $header" >&2
  exit 1
fi
echo "lint-planted: the finding planted in $header was reported"
