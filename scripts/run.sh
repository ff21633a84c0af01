#!/usr/bin/env bash
# Installs what is needed, builds the release configuration and opens an image.
# Usage: scripts/run.sh [IMAGE]   (default: the bundled sample)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build build/release --target vistrel-decode
IMAGE="${1:-samples/sample.bmp}"
build/release/vistrel-decode --info "$IMAGE"
