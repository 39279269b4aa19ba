#!/usr/bin/env bash
# The main job: installs what is missing, builds the native configuration
# and drives the plug-ins with the host program against simulated devices.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset native-release >/dev/null
cmake --build --preset native-release -j "$(nproc)"
HOST=build/native-release/host/cvhost
echo "== cvhost info, with a T21 and an RQ2 camera attached =="
"$HOST" --sim-camera 0A30 --sim-camera 0A12 info
