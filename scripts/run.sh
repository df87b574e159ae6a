#!/usr/bin/env bash
# Installs what is missing, builds the application and starts it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
"$root/scripts/build.sh" "$root/build" -DCMAKE_BUILD_TYPE=Release
app="$root/build/Nuvaro.app/Contents/MacOS/Tessary"
echo "Built $app"
exec "$app" "$@"
