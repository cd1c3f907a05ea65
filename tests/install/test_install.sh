#!/usr/bin/env bash
# Installs the built program into a temporary home, starts it through the
# launcher as a user would, ends it, and uninstalls it.
set -euo pipefail
src=$1 build=$2
home=$(mktemp -d /tmp/mossgather-install-XXXXXX)
trap 'pkill -TERM -f "$home/" 2>/dev/null || true; rm -rf "$home"' EXIT
export HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share XDG_RUNTIME_DIR=$home/run
export MOSSGATHER_UPDHOST=  # no test asks the real web site for updates
mkdir -m 0700 -p "$XDG_RUNTIME_DIR"
fail() { echo "FAIL: $*"; exit 1; }

# A user who has run Chromium and Firefox; no other browser is found on a
# PATH of the system's own folders only.
mkdir -p "$XDG_CONFIG_HOME/chromium" "$home/.mozilla"
export PATH=/usr/bin:/bin
SKIP_BUILD=1 BUILD_DIR=$build NO_START=1 "$src/scripts/install.sh" >/dev/null
prg=$home/.local/lib/mossgather
for f in mossgather mossgather-reg mossgather-relay mosspreview.so Help/introduction.htm help/use.htm mossgather.svg about.png; do
  [ -e "$prg/$f" ] || fail "missing $f"
done
[ -d "$prg/IEMenu" ] || fail "missing IEMenu/"
[ -x "$home/.local/bin/mossgather" ] || fail "missing launcher"
grep -q "^Exec=$home/.local/bin/mossgather$" "$home/.local/share/applications/mossgather.desktop" || fail "desktop entry"
[ -e "$home/.local/share/icons/hicolor/scalable/apps/mossgather.svg" ] || fail "icon"
[ "$("$prg/mossgather-reg" get 'Software\Mossgather\' CurExeFile)" = "$prg/mossgather" ] || fail "CurExeFile"
manifest=$XDG_CONFIG_HOME/chromium/NativeMessagingHosts/org.mossgather.picker.json
grep -q "\"path\": \"$prg/mossgather-host\"" "$manifest" || fail "Chromium host manifest"
[ -x "$prg/mossgather-host" ] || fail "host launcher"
grep -q "^exec '$prg/mossgather-relay' \"\$@\"$" "$prg/mossgather-host" || fail "host launcher does not start the relay"
# The browser's "Check connection" through the launcher, as the browser sends it.
reply=$(printf '\022\0\0\0{"method":"Check"}' | "$prg/mossgather-host" chrome-extension://x/ | tail -c +5)
case $reply in *'"status":0'*'"version"'*) ;; *) fail "host check replied: $reply" ;; esac
ffmanifest=$home/.mozilla/native-messaging-hosts/org.mossgather.picker.json
[ -e "$ffmanifest" ] || fail "Firefox host manifest"

# The launcher starts the installed copy and ends after its pause.
start=$(date +%s%N)
"$home/.local/bin/mossgather"
elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
[ "$elapsed" -ge 1400 ] || fail "launcher ended after $elapsed ms"
for _ in $(seq 100); do [ -S "$XDG_RUNTIME_DIR/mossgather/Mossgather 0.12.sock" ] && break; sleep 0.1; done
pid=$(pgrep -f "^$prg/mossgather -RealStr") || fail "installed copy not running"
sleep 0.5
kill -TERM "$pid"
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$pid" 2>/dev/null && fail "did not end on SIGTERM"
[ -s "$prg/cfg.ini" ] || fail "cfg.ini not written at exit"
echo "[Global]" >>"$prg/log.txt"

"$src/scripts/uninstall.sh" >/dev/null
[ -e "$prg/mossgather" ] && fail "program left behind"
[ -e "$prg/mossgather-relay" ] && fail "host relay left behind"
[ -e "$home/.local/bin/mossgather" ] && fail "launcher left behind"
[ -e "$home/.local/share/applications/mossgather.desktop" ] && fail "desktop entry left behind"
[ -s "$prg/cfg.ini" ] || fail "settings removed"
[ -e "$manifest" ] && fail "host manifest left behind"
[ -e "$ffmanifest" ] && fail "Firefox host manifest left behind"
[ -d "$home/.mozilla/native-messaging-hosts" ] && fail "Firefox manifest folder left behind"
[ -s "$prg/log.txt" ] || fail "log removed"
"$prg/../../bin/mossgather-reg" get 'Software\Mossgather\' CurExeFile 2>/dev/null && fail "CurExeFile left behind"
echo "install and uninstall: ok (launcher ended after $elapsed ms)"
