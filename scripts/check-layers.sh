#!/usr/bin/env bash
# Keeps the source tree's layers pointing one way. Fails, naming the include
# that broke the rule, when
#   - a folder of src/ includes from a folder above it in LAYERS, or
#   - a source of the core library (mosscore, as the folders' CMakeLists.txt
#     list it) or its header includes a Qt header outside QtCore and
#     QtNetwork, or a header of the window library (mossui).
#   scripts/check-layers.sh [SRC_DIR]      (default: the project's src/)
set -euo pipefail
src=$(cd "${1:-$(dirname "$0")/../src}" && pwd)

# From the top down; a folder may include from itself and from any folder
# after it.
LAYERS="app control editors ui jobs net platform pub"

# The headers a core source may take from Qt: QtCore's and QtNetwork's.
qt_headers=${QT_HEADERS:-}
if [ -z "$qt_headers" ]; then
  for d in /usr/include/x86_64-linux-gnu/qt6 /usr/include/qt6 /usr/include/aarch64-linux-gnu/qt6; do
    [ -d "$d/QtCore" ] && qt_headers=$d && break
  done
fi
allowed_qt=$(mktemp)
lists=$(mktemp)
trap 'rm -f "$allowed_qt" "$lists"' EXIT
if [ -n "$qt_headers" ]; then
  ls "$qt_headers/QtCore" "$qt_headers/QtNetwork" 2>/dev/null | grep -E '^Q' >"$allowed_qt" || true
fi

# Which library each source belongs to, from the folders' CMakeLists.txt:
# "core DIR/FILE.cpp" or "ui DIR/FILE.cpp", paths relative to src/.
find "$src" -mindepth 2 -name CMakeLists.txt | sort | while read -r cm; do
  dir=$(dirname "${cm#"$src"/}")
  tr '()' '\n\n' <"$cm" | awk -v dir="$dir" '
    /target_sources/ { next }
    /^[[:space:]]*mosscore[[:space:]]/ { lib = "core" }
    /^[[:space:]]*mossui[[:space:]]/ { lib = "ui" }
    { for (i = 1; i <= NF; i++) if ($i ~ /\.cpp$/ && lib != "") print lib, dir "/" $i }
    /^[[:space:]]*$/ { }'
done >"$lists"

cd "$src"
grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]+[<"]' --include='*.cpp' --include='*.h' . |
  sed -E 's#^\./##' |
  awk -v layers="$LAYERS" -v allowed="$allowed_qt" -v lists="$lists" -v have_qt="${qt_headers:+1}" '
    BEGIN {
      n = split(layers, L, " ")
      for (i = 1; i <= n; i++) rank[L[i]] = i
      while ((getline line < allowed) > 0) qt_ok[line] = 1
      while ((getline line < lists) > 0) {
        split(line, p, " ")
        base = p[2]; sub(/\.cpp$/, "", base)
        if (p[1] == "core") { core[base ".cpp"] = 1; core[base ".h"] = 1 }
        else ui_header[base ".h"] = 1
      }
      bad = 0
    }
    {
      # path:line:text
      file = $0; sub(/:.*/, "", file)
      rest = substr($0, length(file) + 2)
      ln = rest; sub(/:.*/, "", ln)
      text = substr(rest, length(ln) + 2)
      inc = text
      sub(/^[[:space:]]*#[[:space:]]*include[[:space:]]+[<"]/, "", inc)
      sub(/[>"].*$/, "", inc)
      clean = text; sub(/^[[:space:]]+/, "", clean)

      folder = file; sub(/\/.*/, "", folder)
      if (folder == file) next
      if (!(folder in rank)) {
        if (!(folder in told)) print file ": the folder " folder "/ has no place in the layers (LAYERS in scripts/check-layers.sh)"
        told[folder] = 1; bad = 1; next
      }
      if (text ~ /include[[:space:]]*"/ && inc ~ /\//) {
        target = inc; sub(/\/.*/, "", target)
        if ((target in rank) && rank[target] < rank[folder]) {
          print file ":" ln ": " folder "/ includes from " target "/, a layer above it: " clean
          bad = 1
        }
      }
      if (file in core) {
        if (inc in ui_header) {
          print file ":" ln ": a core source includes a window-library header: " clean
          bad = 1
        } else if (text ~ /include[[:space:]]*</ && inc ~ /^Q/) {
          module = ""
          if (inc ~ /\//) { module = inc; sub(/\/.*/, "", module) }
          else if (have_qt) module = (inc in qt_ok) ? "QtCore" : "other"
          if (module != "" && module != "QtCore" && module != "QtNetwork") {
            print file ":" ln ": a core source includes a Qt header that needs a display: " clean
            bad = 1
          }
        }
      }
    }
    END { exit bad }' && ok=1 || ok=0

if [ "$ok" = 1 ]; then
  echo "layers: every include points down ($LAYERS), and the core needs no display"
  exit 0
fi
exit 1
