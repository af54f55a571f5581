#!/usr/bin/env bash
# Runs a test program inside a new, private network and mount namespace: loopback up, and the
# test's own hosts file and name-service order (files only) bind-mounted over the system's, so
# that tests may add addresses, interfaces and broadcasts and resolve names without touching the
# host's network or files.
# Exit code 77 means "skipped" (no rights to make a namespace); under CI (CI=true) that fails.
set -u
here=$(cd "$(dirname "$0")" && pwd)
if ! unshare --net --mount true 2>/dev/null; then
  echo "skipped: cannot create a network namespace here (needs root)" >&2
  if [ "${CI:-}" = "true" ]; then exit 1; fi
  exit 77
fi
export CORVANE_NETNS=1
exec unshare --net --mount --propagation private -- sh -c '
  ip link set lo up &&
  mount --bind "$0/hosts" /etc/hosts &&
  mount --bind "$0/nsswitch.conf" /etc/nsswitch.conf &&
  exec "$@"' "$here" "$@"
