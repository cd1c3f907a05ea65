#!/bin/sh
# Takes docs/images/tip.png: a Good tip as it shows at the lower right of a
# 1024 x 768 screen, under Xvfb with a compositor.
# Needs xvfb, xcompmgr and imagemagick; run after building test_tips.
# Usage: scripts/shoot-tip.sh [build-dir] [display]
set -eu
cd "$(dirname "$0")/.."
BUILD=${1:-build}
DISP=${2:-:99}
OUT=docs/images/tip.png
SHOT=$(mktemp --suffix=.png)

Xvfb "$DISP" -screen 0 1024x768x24 >/dev/null 2>&1 &
XPID=$!
COMP=
cleanup() {
  if [ -n "$COMP" ]; then kill "$COMP" 2>/dev/null || true; fi
  kill "$XPID" 2>/dev/null || true
  rm -f "$SHOT"
}
trap cleanup EXIT
sleep 1
DISPLAY=$DISP xcompmgr >/dev/null 2>&1 &
COMP=$!
sleep 0.5
DISPLAY=$DISP MOSS_TIP_SHOT=6 QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu \
  "$BUILD/bin/test_tips" --gtest_filter='TipShot.*' >/dev/null 2>&1 &
TPID=$!
sleep 4  # past the fade-in, well before the tip goes
DISPLAY=$DISP import -window root "$SHOT"
wait "$TPID"
# The tip's top-left corner on this screen is (774, 513).
/usr/bin/convert "$SHOT" -crop 215x170+774+513 +repage "$OUT"
echo "$OUT"
