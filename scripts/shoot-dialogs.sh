#!/bin/sh
# Takes the pictures of the options dialog (one per tab) and of both forms
# of the update dialog into docs/images/, under Xvfb.
# Needs xvfb; run after building test_options and test_update_dialog.
# Usage: scripts/shoot-dialogs.sh [build-dir]
set -eu
cd "$(dirname "$0")/.."
BUILD=${1:-build}
OUT=$(pwd)/docs/images
FD=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$FD" >/dev/null 2>&1 &
XPID=$!
trap 'kill "$XPID" 2>/dev/null || true; rm -f "$FD"' EXIT
for _ in $(seq 100); do [ -s "$FD" ] && break; sleep 0.1; done
DISP=:$(head -n1 "$FD")
DISPLAY=$DISP MOSSGATHER_SHOTS=$OUT "$BUILD/bin/test_options" --gtest_filter='*Screenshot*' >/dev/null
DISPLAY=$DISP MOSSGATHER_SHOTS=$OUT "$BUILD/bin/test_update_dialog" --gtest_filter='*Screenshot*' >/dev/null
ls "$OUT"/options-*.png "$OUT"/update-*.png
