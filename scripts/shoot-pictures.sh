#!/bin/sh
# Takes docs/images/picture-editor.png (all pictures of a page) and
# picture-editor-one.png (the picture under the mouse): the picture editor as
# the browser suite drives it, photographed on the suite's Xvfb desktop.
# Needs a build with the tests (moss_shot) and what the browser suites need.
# Usage: scripts/shoot-pictures.sh [build-dir]
set -eu
cd "$(dirname "$0")/.."
BUILD=$(cd "${1:-build}" && pwd)
SHOTS=$(cd docs/images && pwd)
cd tests/e2e
MOSSGATHER_BUILD_DIR=$BUILD MOSSGATHER_SHOTS=$SHOTS node --test pictures.test.mjs
ls -l "$SHOTS"/picture-editor*.png
