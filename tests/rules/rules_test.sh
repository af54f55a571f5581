#!/usr/bin/env bash
# The shipped alerting rules: promtool (Debian's prometheus package) checks data/corvane.rules.yml
# and runs its unit tests against the sample series of corvane.rules.test.yml.
# Exit code 77 means "skipped" (no promtool); under CI (CI=true) that fails.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
if ! command -v promtool >/dev/null; then
  echo "skipped: no promtool (scripts/deps.sh test)" >&2
  [ "${CI:-}" = "true" ] && exit 1
  exit 77
fi
promtool check rules "$here/../../data/corvane.rules.yml"
promtool test rules "$here/corvane.rules.test.yml"
