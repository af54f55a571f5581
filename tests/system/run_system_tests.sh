#!/usr/bin/env bash
# The service against a real systemd: boots the machine's systemd in private namespaces
# (systemd_namespace.sh) twice. The first boot drives the desktop program's service actions
# through install, start, stop, apply and remove, failures included; the second boots with the
# service as the first one installed it, enabled, and checks that it runs and relays.
#
#   run_system_tests.sh ACTIONS_PROGRAM SERVICE_PROGRAM CORVANECTL
# Exit code 77 means "skipped" (not root, or no systemd here); under CI (CI=true) that fails.
set -u
here=$(cd "$(dirname "$0")" && pwd)
actions=$1 service=$2 corvanectl=$3

skip() {
  echo "skipped: $1" >&2
  if [ "${CI:-}" = "true" ]; then exit 1; fi
  exit 77
}
[ "$(id -u)" -eq 0 ] || skip "the system tests boot systemd in namespaces, which needs root"
[ -x /lib/systemd/systemd ] || skip "no systemd here (/lib/systemd/systemd; scripts/deps.sh test)"
command -v setpriv >/dev/null || skip "no setpriv (util-linux)"

share=$(mktemp -d /tmp/corvane-system.XXXXXX)
trap 'rm -rf "$share"' EXIT
chmod 755 "$share"  # the unprivileged user runs the actions from here too
mkdir "$share/bin" "$share/seed"
cp "$actions" "$share/bin/corvane_service_actions"
cp "$service" "$share/bin/CorvaneService"
cp "$corvanectl" "$share/bin/corvanectl"
cp "$here/scenario.sh" "$share/"
export CORVANE_SECURITY_TARGET=1.9

failed=0
echo "=== boot 1: the service actions"
SHARE=$share "$here/systemd_namespace.sh" bash /share/scenario.sh actions || failed=1
if [ -e "$share/seed/etc/systemd/system/CorvaneService.service" ]; then
  echo "=== boot 2: booted with the service installed and enabled"
  SHARE=$share SEED=$share/seed "$here/systemd_namespace.sh" bash /share/scenario.sh boot || failed=1
else
  echo "FAILED: the first boot left no installed service to boot with"
  failed=1
fi

echo "=== no systemd: /run hidden in a private mount namespace, as in a container"
expected='Failed: Can not get access to the service manager.
The systemd service manager is not running on this system.'
for action in install start stop remove; do
  got=$(unshare --mount sh -c 'mount -t tmpfs tmpfs /run && exec "$0" "$1"' \
        "$share/bin/corvane_service_actions" $action 2>&1)
  if [ "$got" = "$expected" ]; then
    echo "ok      $action without systemd: $got"
  else
    printf 'FAILED  %s without systemd:\n  got:      %s\n  expected: %s\n' $action "$got" "$expected"
    failed=1
  fi
done

[ $failed -eq 0 ] && echo "system tests passed" || echo "system tests FAILED"
exit $failed
