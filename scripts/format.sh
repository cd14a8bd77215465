#!/usr/bin/env bash
# Lays out every C and C++ source of the repository as .clang-format says (the ctest
# `format` fails on any source this would change).
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files -- interfaces platform rodazivuziradovizozari bindings tools examples tests bench fuzz |
  grep -E '\.(cpp|h|c)$' | xargs clang-format -i
