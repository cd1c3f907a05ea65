#!/bin/sh
# Takes docs/images/movie-editor.png: the movie editor ("Save flash") on a
# page with plug-in movies, a video with a poster, an audio and a stream the
# page builds itself, as the browser suite drives it on its Xvfb desktop.
# Needs a build with the tests (moss_shot) and what the browser suites need.
# Usage: scripts/shoot-movies.sh [build-dir]
set -eu
cd "$(dirname "$0")/.."
BUILD=$(cd "${1:-build}" && pwd)
SHOTS=$(cd docs/images && pwd)
cd tests/e2e
MOSSGATHER_BUILD_DIR=$BUILD MOSSGATHER_SHOTS=$SHOTS node --test movies.test.mjs
ls -l "$SHOTS"/movie-editor.png
