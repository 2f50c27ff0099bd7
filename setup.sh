#!/usr/bin/env bash
# Installs what is missing, builds what the main job needs (the platform layer,
# the component and the revdir tool; no test, no benchmark), and runs it.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/deps.sh
cmake -S . -B build/plain -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/plain --target revdir QuillonRevisionDirectory
./build/plain/tools/revdir list
