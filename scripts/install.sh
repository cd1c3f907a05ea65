#!/usr/bin/env bash
# Installs what is needed, builds Mossgather, installs it for the current
# user and starts it.
#   PREFIX_DIR   the program folder (default ~/.local/lib/mossgather)
#   NO_START=1   install only
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"

build=${BUILD_DIR:-$root/build-release}
if [ "${SKIP_BUILD:-0}" != 1 ]; then  # SKIP_BUILD=1 installs what BUILD_DIR already holds
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DMOSS_TESTS=OFF -DMOSS_BENCH=OFF >/dev/null
  cmake --build "$build" -j"${JOBS:-2}"
fi

prg=${PREFIX_DIR:-$HOME/.local/lib/mossgather}
bindir=$HOME/.local/bin
apps=${XDG_DATA_HOME:-$HOME/.local/share}/applications
icons=${XDG_DATA_HOME:-$HOME/.local/share}/icons/hicolor/scalable/apps
mkdir -p "$prg" "$bindir" "$apps" "$icons"

# A running copy keeps its program file open: end it first, through its
# normal close path, so that its settings are written.
# Only the copy that runs from this program folder is ended.
running="^$prg/mossgather( |\$)"
if pgrep -u "$(id -u)" -f "$running" >/dev/null 2>&1; then
  pkill -TERM -u "$(id -u)" -f "$running" || true
  for _ in $(seq 50); do pgrep -u "$(id -u)" -f "$running" >/dev/null 2>&1 || break; sleep 0.1; done
fi

for exe in "$build"/bin/mossgather*; do
  install -m 0755 "$exe" "$prg/$(basename "$exe")"
done
# The HTML preview's web engine: the program loads it from its own folder on
# the first preview.
install -m 0644 "$build/bin/mosspreview.so" "$prg/mosspreview.so"
rm -rf "$prg/Help" "$prg/help" "$prg/IEMenu"
cp -r "$root/resources/Help" "$root/resources/help" "$prg/"
mkdir -p "$prg/IEMenu"
if [ -n "$(ls -A "$root/IEMenu" 2>/dev/null)" ]; then cp -r "$root/IEMenu/." "$prg/IEMenu/"; fi
install -m 0644 "$root/resources/share/mossgather.svg" "$prg/mossgather.svg"
install -m 0644 "$root/resources/about.png" "$prg/about.png"
install -m 0644 "$root/resources/share/mossgather.svg" "$icons/mossgather.svg"

# The installed program file is the copy that keeps running.
"$prg/mossgather-reg" set 'Software\Mossgather\' CurExeFile "$prg/mossgather"
# The browsers' host manifests, and the five menu entries the extension shows.
"$prg/mossgather" -REGSERVER || echo "Warning: the browsers' host manifests could not be written."
"$prg/mossgather" -RegIEMenu || echo "Warning: the menu entries could not be registered."

cat >"$bindir/mossgather" <<LAUNCH
#!/bin/sh
exec "$prg/mossgather" "\$@"
LAUNCH
chmod 0755 "$bindir/mossgather"
sed "s|@BINDIR@|$bindir|" "$root/resources/share/mossgather.desktop.in" >"$apps/mossgather.desktop"

echo "Mossgather is installed in $prg"
case ":$PATH:" in *":$bindir:"*) ;; *) echo "Note: $bindir is not on your PATH yet; log in again or add it." ;; esac

if [ "${NO_START:-0}" != 1 ]; then
  if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: starting Mossgather without a visible window (QT_QPA_PLATFORM=offscreen)."
    export QT_QPA_PLATFORM=offscreen
  fi
  setsid "$prg/mossgather" -RealStr >/dev/null 2>&1 < /dev/null &
  echo "Mossgather is running."
fi
