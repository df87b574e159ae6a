#!/usr/bin/env bash
# Installs the desktop entry and the grid-file type (*.xpr) of a build for the
# current user, so that the desktop's menus and file manager start Nuvaro and
# open grid files with it. Writes only under $XDG_DATA_HOME (default
# ~/.local/share) and $XDG_CONFIG_HOME (default ~/.config).
#   scripts/install-desktop.sh [BUILD_DIR]     (default: build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
src="$build/desktop"
if [ ! -f "$src/nuvaro.desktop" ] || [ ! -f "$src/nuvaro-xpr.xml" ]; then
  echo "No desktop files in $src: configure the build first (scripts/build.sh)." >&2
  exit 1
fi
data=${XDG_DATA_HOME:-$HOME/.local/share}
config=${XDG_CONFIG_HOME:-$HOME/.config}

desktop-file-validate "$src/nuvaro.desktop"
mkdir -p "$data/mime/packages" "$data/applications" "$config"
cp "$src/nuvaro-xpr.xml" "$data/mime/packages/nuvaro-xpr.xml"
update-mime-database "$data/mime"
desktop-file-install --dir="$data/applications" "$src/nuvaro.desktop"
update-desktop-database "$data/applications"
# Grid files open with Nuvaro by default.
list="$config/mimeapps.list"
touch "$list"
if ! grep -q '^\[Default Applications\]' "$list"; then
  printf '[Default Applications]\n' >> "$list"
fi
if ! grep -q '^application/x-nuvaro-xpr=' "$list"; then
  sed -i '/^\[Default Applications\]/a application/x-nuvaro-xpr=nuvaro.desktop' "$list"
fi
echo "Installed nuvaro.desktop and the application/x-nuvaro-xpr type under $data."
