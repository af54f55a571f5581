#!/bin/sh
# The packaging test's steps inside a throw-away system with a real systemd (run by
# package_test.sh; /share holds the packages and the test's programs). Each step names itself;
# the first failure ends the run with a non-zero status.
set -eu
old=/share/corvane_1.1.deb
service_deb=$(ls /share/corvane-service_*.deb)
desktop_deb=$(ls /share/corvane_*_*.deb)
admin_home=/tmp/admin
unit=/etc/systemd/system/CorvaneService.service
export DEBIAN_FRONTEND=noninteractive
step() { echo "-- $*"; }
fail() {
  echo "FAILED: $*" >&2
  systemctl status --no-pager CorvaneService.service >&2 || true
  exit 1
}
apt_get() {
  apt-get -y --no-install-recommends "$@" >/tmp/apt.log 2>&1 || { cat /tmp/apt.log; fail "apt-get $*"; }
}
# Start returns once systemd has the job; the service is active when it has reported ready.
wait_active() {
  for _ in $(seq 50); do
    systemctl is-active --quiet CorvaneService.service && return 0
    sleep 0.1
  done
  return 1
}
main_pid() { systemctl show -p MainPID --value CorvaneService.service; }
relays() { /share/corvane_service_actions relay 9 40009 >/dev/null || fail "the service did not relay: $1"; }
gone() {
  for path in "$@"; do
    if [ -e "$path" ] || [ -L "$path" ]; then fail "$path remains"; fi
  done
}

# A container's policy-rc.d forbids every service action of maintainer scripts; the machines the
# packages are for have none.
rm -f /usr/sbin/policy-rc.d

step "the single package corvane 1.1, its service installed by the window's actions and running"
apt_get install "$old"
mkdir -p "$admin_home"
act() {
  result=$(HOME=$admin_home /share/corvane_service_actions "$@") || fail "$*: $result"
  case $result in Success:*) ;; *) fail "$*: $result" ;; esac
}
HOME=$admin_home /share/corvane_service_actions profile 9 40009 || fail "the profile"
act install /usr/bin
act start
wait_active || fail "the service does not run"
relays "before the upgrade"

step "upgrading to corvane and corvane-service keeps the profile, the configuration, the unit and the running service"
cp /opt/corvane/CorvaneService.dat /tmp/service.dat
cp "$admin_home/Corvane/profile.dat" /tmp/profile.dat
pid=$(main_pid)
apt_get install "$desktop_deb" "$service_deb"
[ "$(dpkg-query -W -f='${Version} ${Status}' corvane-service)" = "$(dpkg-deb -f "$service_deb" Version) install ok installed" ] ||
  fail "corvane-service is not installed"
cmp /tmp/service.dat /opt/corvane/CorvaneService.dat || fail "the service configuration changed"
cmp /tmp/profile.dat "$admin_home/Corvane/profile.dat" || fail "the profile changed"
[ -f "$unit" ] || fail "the unit is gone"
wait_active || fail "the service does not run"
[ "$(main_pid)" != "$pid" ] || fail "the service was not restarted with the new program"
cmp /usr/bin/CorvaneService /opt/corvane/CorvaneService || fail "the installed service program is old"
getcap /usr/bin/Corvane | grep -q cap_net_bind_service || fail "no capability on /usr/bin/Corvane"
relays "after the upgrade"

step "the installed Corvane, offscreen, run by an ordinary user, relays a packet"
systemctl stop CorvaneService.service
setpriv --reuid=nobody --regid=nogroup --clear-groups /share/corvane_demo /usr/bin/Corvane |
  grep -E "^(relayed|Corvane ended)" || fail "the installed Corvane did not relay"

step "purging corvane-service removes the service and corvane with it, and keeps the user's profile"
apt_get purge corvane-service
gone "$unit" /etc/systemd/system/multi-user.target.wants/CorvaneService.service /opt/corvane \
  /usr/bin/Corvane /usr/bin/CorvaneService /usr/bin/corvanectl
state=$(systemctl show -p LoadState -p ActiveState CorvaneService.service | tr '\n' ' ')
[ "$state" = "LoadState=not-found ActiveState=inactive " ] || fail "unit state after purge: $state"
[ -f "$admin_home/Corvane/profile.dat" ] || fail "the user's profile is gone"

step "corvane-service alone: the README's two commands install and start a relay"
apt_get install "$service_deb"
if dpkg-query -W -f='${Status}' corvane 2>/dev/null | grep -q "install ok"; then fail "corvane came along"; fi
cat >/tmp/relay.json <<JSON
{"ProxyServers": [{"ServerName": "relay", "ServerAutoStartOnService": true, "RecvPort": 9,
  "DontRecvFromYourIp": false,
  "SendToHostsList": [{"Host": "127.0.0.1", "Prefix": 32, "Port": 40009}]}]}
JSON
cd /tmp
corvanectl install relay.json && corvanectl start || fail "the two commands"
wait_active || fail "the service does not run"
relays "installed by corvanectl"
# The status line's totals follow within a few seconds.
for _ in $(seq 50); do
  corvanectl status >/tmp/status.txt || fail "status: $(cat /tmp/status.txt)"
  grep -q "; 1 proxy server; [1-9][0-9]* received, 0 ignored, [1-9][0-9]* sent, 0 failed" /tmp/status.txt &&
    break
  sleep 0.2
done
cat /tmp/status.txt
grep -qx "CorvaneService.service: active (running)" /tmp/status.txt || fail "status"
grep -q "; 1 proxy server; [1-9][0-9]* received, 0 ignored, [1-9][0-9]* sent, 0 failed" /tmp/status.txt ||
  fail "status without the totals"
apt_get purge corvane-service
gone "$unit" /opt/corvane
echo "journal: $(journalctl -q -t CorvaneService -p info -o cat | tr '\n' ' ')"
echo "in-system steps passed"
