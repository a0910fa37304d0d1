#!/usr/bin/env bash
# Installs what is needed, builds Brisko and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh run
cmake --preset default >/dev/null
cmake --build --preset default
exec ./build/app/brisko
