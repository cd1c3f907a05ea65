#!/usr/bin/env bash
# The layer check passes on the project's tree, and on a small tree of its
# own fails for each kind of wrong include, naming the line.
set -euo pipefail
root=$1
check="$root/scripts/check-layers.sh"
t=$(mktemp -d)
trap 'rm -rf "$t"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$check" "$root/src" || fail "the project's own tree breaks its layers"

mk() { mkdir -p "$(dirname "$t/src/$1")" && printf '%s\n' "$2" >"$t/src/$1"; }
mk pub/CMakeLists.txt 'target_sources(mosscore PRIVATE
  Base.cpp
)'
mk pub/Base.h '#pragma once
#include <QString>'
mk pub/Base.cpp '#include "pub/Base.h"'
mk ui/CMakeLists.txt 'target_sources(mosscore PRIVATE Text.cpp)
target_sources(mossui PRIVATE
  Window.cpp
)'
mk ui/Text.cpp '#include "pub/Base.h"
#include <QTimer>'
mk ui/Window.h '#pragma once
#include <QWidget>'
mk ui/Window.cpp '#include "ui/Window.h"
#include "ui/Text.h"'
mk ui/Text.h '#pragma once'
"$check" "$t/src" >"$t/out" || fail "a tree that keeps the rules is refused: $(cat "$t/out")"

expect_refused() {  # FILE LINE-ADDED WANTED-TEXT
  local file=$1 add=$2 want=$3
  cp "$t/src/$file" "$t/saved"
  printf '%s\n' "$add" >>"$t/src/$file"
  if "$check" "$t/src" >"$t/out"; then fail "$file with '$add' passed"; fi
  grep -qF "$want" "$t/out" || fail "$file with '$add': expected '$want' in: $(cat "$t/out")"
  cp "$t/saved" "$t/src/$file"
}
expect_refused pub/Base.cpp '#include "ui/Text.h"' 'pub/Base.cpp:2: pub/ includes from ui/, a layer above it: #include "ui/Text.h"'
expect_refused ui/Text.cpp '#include <QWidget>' 'ui/Text.cpp:3: a core source includes a Qt header that needs a display: #include <QWidget>'
expect_refused ui/Text.h '#include <QtWidgets/QLabel>' 'ui/Text.h:2: a core source includes a Qt header that needs a display'
expect_refused ui/Text.cpp '#include "ui/Window.h"' 'ui/Text.cpp:3: a core source includes a window-library header: #include "ui/Window.h"'
mk odd/Thing.cpp '#include "pub/Base.h"'
if "$check" "$t/src" >"$t/out"; then fail "a folder outside the layers passed"; fi
grep -qF "odd/Thing.cpp: the folder odd/ has no place in the layers" "$t/out" || fail "unnamed folder: $(cat "$t/out")"
echo "layer check: passes the project's tree and refuses each wrong include"
