#!/usr/bin/env bash
# Lays out every C and C++ source of the repository as .clang-format says (the ctest
# `format` fails on any source this would change; both take the sources from
# tests/format/CheckFormat.cmake).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -DCLANG_FORMAT=clang-format -DSOURCE_DIR="$PWD" -DFIX=ON -P tests/format/CheckFormat.cmake
