#!/usr/bin/env bash
# Installs what is missing, builds, and summarises the camera descriptions shipped in XML/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build
build/tools/mfxdescribe/mfxdescribe XML
