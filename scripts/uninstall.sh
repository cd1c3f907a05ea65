#!/usr/bin/env bash
# Removes the installed program, its launcher, desktop entry and icon. The
# settings and the log (cfg.ini, log.txt) and everything you saved stay.
set -euo pipefail
prg=${PREFIX_DIR:-$HOME/.local/lib/mossgather}
bindir=$HOME/.local/bin
data=${XDG_DATA_HOME:-$HOME/.local/share}

# Only the copy that runs from this program folder is ended.
running="^$prg/mossgather( |\$)"
if pgrep -u "$(id -u)" -f "$running" >/dev/null 2>&1; then
  pkill -TERM -u "$(id -u)" -f "$running" || true
  for _ in $(seq 50); do pgrep -u "$(id -u)" -f "$running" >/dev/null 2>&1 || break; sleep 0.1; done
fi
if [ -x "$prg/mossgather" ]; then "$prg/mossgather" -UNREGSERVER || true; fi
if [ -x "$prg/mossgather-reg" ]; then "$prg/mossgather-reg" delete 'Software\Mossgather\' CurExeFile || true; fi
if [ -d "$prg" ]; then
  find "$prg" -mindepth 1 -maxdepth 1 ! -name cfg.ini ! -name log.txt ! -name log.txt.bak -exec rm -rf {} +
fi
rm -f "$bindir/mossgather" "$data/applications/mossgather.desktop" "$data/icons/hicolor/scalable/apps/mossgather.svg"
echo "Mossgather is removed. Your settings stay in $prg (cfg.ini, log.txt); delete that folder to remove them too."
