#!/usr/bin/env bash
# Runs a test program inside a new, private network namespace whose loopback is up, so that tests
# may add addresses, interfaces and broadcasts without touching the host's network.
# Exit code 77 means "skipped" (no rights to make a namespace); under CI (CI=true) that is a failure.
set -u
if ! unshare --net --mount true 2>/dev/null; then
  echo "skipped: cannot create a network namespace here (needs root or user namespaces)" >&2
  if [ "${CI:-}" = "true" ]; then exit 1; fi
  exit 77
fi
export CORVANE_NETNS=1
exec unshare --net --mount -- sh -c 'ip link set lo up && exec "$@"' run_in_netns "$@"
