#!/bin/sh
# The packaging test's steps inside a throw-away system with a real systemd (run by
# package_test.sh; /share holds the package and the test's programs). Each step names itself;
# the first failure ends the run with a non-zero status.
set -eu
deb=$(ls /share/corvane_*.deb)
admin_home=/tmp/admin
unit=/etc/systemd/system/CorvaneService.service
export DEBIAN_FRONTEND=noninteractive
step() { echo "-- $*"; }
fail() {
  echo "FAILED: $*" >&2
  systemctl status --no-pager CorvaneService.service >&2 || true
  exit 1
}
# Start returns once systemd has the job; the service is active when it has reported ready.
wait_active() {
  for _ in $(seq 50); do
    systemctl is-active --quiet CorvaneService.service && return 0
    sleep 0.1
  done
  return 1
}

# A container's policy-rc.d forbids every service action of maintainer scripts; the machines the
# package is for have none.
rm -f /usr/sbin/policy-rc.d

step "apt install $deb"
apt-get install -y --no-install-recommends "$deb" >/tmp/apt.log 2>&1 || { cat /tmp/apt.log; fail "apt install"; }
getcap /usr/bin/Corvane | grep -q cap_net_bind_service || fail "no capability on /usr/bin/Corvane"
echo "capability: $(getcap /usr/bin/Corvane)"

step "the installed Corvane, offscreen, run by an ordinary user, relays a packet"
setpriv --reuid=nobody --regid=nogroup --clear-groups /share/corvane_demo /usr/bin/Corvane |
  grep -E "^(relayed|Corvane ended)" || fail "the installed Corvane did not relay"

step "Install / ReInstall and Start from the installed paths"
mkdir -p "$admin_home"
# Each action prints its result text, as the message box would show it.
act() {
  result=$(HOME=$admin_home /share/corvane_service_actions "$@") || fail "$*: $result"
  echo "$*: $result"
  case $result in Success:*) ;; *) fail "$*" ;; esac
}
HOME=$admin_home /share/corvane_service_actions profile 9 40009 || fail "the profile"
act install /usr/bin
act start
wait_active || fail "the service does not run"
cmp /usr/bin/CorvaneService /opt/corvane/CorvaneService || fail "the service program differs"
/share/corvane_service_actions relay 9 40009 || fail "the service did not relay"

step "installing over itself keeps the service, its configuration and the profile"
cp /opt/corvane/CorvaneService.dat /tmp/service.dat
cp "$admin_home/Corvane/profile.dat" /tmp/profile.dat
pid=$(systemctl show -p MainPID --value CorvaneService.service)
apt-get install -y --reinstall "$deb" >/tmp/apt.log 2>&1 || { cat /tmp/apt.log; fail "reinstall"; }
cmp /tmp/service.dat /opt/corvane/CorvaneService.dat || fail "the service configuration changed"
cmp /tmp/profile.dat "$admin_home/Corvane/profile.dat" || fail "the profile changed"
[ -f "$unit" ] || fail "the unit is gone"
wait_active || fail "the service does not run"
[ "$(systemctl show -p MainPID --value CorvaneService.service)" != "$pid" ] ||
  fail "the service was not restarted with the new program"
/share/corvane_service_actions relay 9 40009 || fail "the service did not relay after the upgrade"

step "apt purge leaves no unit, program or configuration, and the user's profile"
apt-get purge -y corvane >/tmp/apt.log 2>&1 || { cat /tmp/apt.log; fail "purge"; }
for path in "$unit" /etc/systemd/system/multi-user.target.wants/CorvaneService.service \
            /opt/corvane /usr/bin/Corvane /usr/bin/CorvaneService; do
  if [ -e "$path" ] || [ -L "$path" ]; then fail "$path remains"; fi
done
state=$(systemctl show -p LoadState -p ActiveState CorvaneService.service | tr '\n' ' ')
[ "$state" = "LoadState=not-found ActiveState=inactive " ] || fail "unit state after purge: $state"
[ -f "$admin_home/Corvane/profile.dat" ] || fail "the user's profile is gone"
echo "journal: $(journalctl -q -t CorvaneService -p info -o cat | tr '\n' ' ')"
echo "in-system steps passed"
