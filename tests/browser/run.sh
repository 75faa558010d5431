#!/usr/bin/env bash
# Installs the pinned test dependencies when missing and runs the viewer tests one file at a time; exit code is the result.
set -euo pipefail
cd "$(dirname "$0")"
if [ ! -d node_modules/playwright-core ]; then
  if [ -f package-lock.json ]; then npm ci --no-audit --no-fund; else npm install --no-audit --no-fund; fi
fi
exec node --test --test-concurrency=1 viewer.test.mjs embed.test.mjs shop.test.mjs large.test.mjs
