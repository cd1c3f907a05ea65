#!/usr/bin/env bash
# Makes the browser tests runnable: Debian's Chromium and Firefox ESR, npm,
# and the pinned playwright-core and puppeteer-core in tests/e2e/node_modules/
# (never a browser download).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
e2e=$root/tests/e2e
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
need=()
[ -x /usr/bin/chromium ] || need+=(chromium)
[ -x /usr/bin/firefox-esr ] || need+=(firefox-esr)
command -v node >/dev/null 2>&1 || need+=(nodejs)
# Debian packs npm apart from nodejs; other node builds bring their own.
command -v npm >/dev/null 2>&1 || need+=(npm)
if [ ${#need[@]} -gt 0 ]; then
  echo "Installing: ${need[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

stale=""
for pkg in playwright-core puppeteer-core; do
  want=$(node -p "require('$e2e/package-lock.json').packages['node_modules/$pkg'].version")
  have=$(node -p "try { require('$e2e/node_modules/$pkg/package.json').version } catch { '' }")
  [ "$want" = "$have" ] || stale="$stale $pkg"
done
if [ -n "$stale" ]; then
  # Neither downloads a browser on install; the tests use /usr/bin/chromium
  # and /usr/bin/firefox-esr.
  (cd "$e2e" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error)
fi
echo "playwright-core and puppeteer-core are ready in $e2e/node_modules"
