#!/usr/bin/env bash
# Makes the browser tests runnable: Debian's Chromium, npm, and the pinned
# playwright-core in tests/e2e/node_modules/ (never a browser download).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
e2e=$root/tests/e2e
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
need=()
[ -x /usr/bin/chromium ] || need+=(chromium)
command -v node >/dev/null 2>&1 || need+=(nodejs)
# Debian packs npm apart from nodejs; other node builds bring their own.
command -v npm >/dev/null 2>&1 || need+=(npm)
if [ ${#need[@]} -gt 0 ]; then
  echo "Installing: ${need[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

want=$(node -p "require('$e2e/package-lock.json').packages['node_modules/playwright-core'].version")
have=$(node -p "try { require('$e2e/node_modules/playwright-core/package.json').version } catch { '' }")
if [ "$want" != "$have" ]; then
  # playwright-core downloads no browser on install; the tests use /usr/bin/chromium.
  (cd "$e2e" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error)
fi
echo "playwright-core $want is ready in $e2e/node_modules"
