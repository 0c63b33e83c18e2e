#!/usr/bin/env bash
# The format check passes a formatted tree and names the file that is not.
set -uo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
tree=$(mktemp -d /tmp/mirvo-format.XXXXXX)
trap 'rm -rf "$tree"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cp "$repo/.clang-format" "$tree/"
mkdir -p "$tree/core" "$tree/src"
printf 'int twice(int value)\n{\n    return 2 * value;\n}\n' >"$tree/core/Twice.cpp"
printf '#pragma once\n\nint twice(int value);\n' >"$tree/src/Twice.h"
out=$("$repo/tools/check-format" --root "$tree" 2>&1) || fail "a formatted tree was refused: $out"
[[ $out == *"2 files checked, 0 not formatted"* ]] || fail "unexpected count: $out"

printf 'int twice(int value) {\n  if (value) return 2*value;\n  return 0;\n}\n' >"$tree/core/Twice.cpp"
out=$("$repo/tools/check-format" --root "$tree" 2>&1) && fail "an unformatted file passed: $out"
[[ $out == *"core/Twice.cpp: not formatted"* ]] || fail "the file was not named: $out"
[[ $out == *"2 files checked, 1 not formatted"* ]] || fail "unexpected count: $out"
echo "check-format: the planted fault was found, the formatted tree passed"
