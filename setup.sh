#!/usr/bin/env bash
# Installs what is missing, builds what the README's tour runs (the platform
# layer, the component, the revdir tool, the communications server's client
# library and the device simulator; no test, no benchmark), and runs the tool.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/deps.sh
cmake -S . -B build/plain -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/plain --target revdir QuillonRevisionDirectory cvapi32 enip_sim
./build/plain/tools/revdir list
