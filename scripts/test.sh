#!/usr/bin/env bash
# Installs what is missing, builds and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
dir="${1:-build}"
shift || true
scripts/build.sh "$dir" "$@"
cd "$dir"
ctest --output-on-failure --parallel "$(nproc)"
