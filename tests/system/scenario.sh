#!/usr/bin/env bash
# Runs inside a booted systemd (see run_system_tests.sh): `scenario.sh actions` or
# `scenario.sh boot`. Prints every result and check; exits 1 when any check failed.
set -u
tool=/share/bin/corvane_service_actions
unit=CorvaneService.service
export HOME=/tmp/admin
failures=0

# The texts of the message boxes, one line per line.
installed='Success: The service was successfully installed.
The service will start automatically when the system boots.
Click on "Start" to start the service immediately.'
administrator='You need to run the program as an administrator.'
reinstall='You need to reinstall the service.'
no_manager="Failed: Can not get access to the service manager.
$administrator"
applied='Success: Configuration file has been updated successfully.
You need to restart the service to take effect.'

check() {  # NAME ACTUAL EXPECTED
  if [ "$2" = "$3" ]; then
    printf 'ok      %s: %s\n' "$1" "$(echo "$2" | sed '2,$s/^/        /')"
  else
    printf 'FAILED  %s:\n  got:      %s\n  expected: %s\n' "$1" "$2" "$3"
    failures=$((failures + 1))
  fi
}

act() { "$tool" "$1" 2>&1; }
as_nobody() {
  HOME=/tmp/nobody setpriv --reuid=nobody --regid=nogroup --clear-groups "$tool" "$1" 2>&1
}
state() { systemctl show -p ActiveState --value $unit; }

# Waits up to 10 s for the unit's state to become $1.
wait_state() {
  for _ in $(seq 100); do [ "$(state)" = "$1" ] && return 0; sleep 0.1; done
  return 1
}

# The service's journal entries as "PRIORITY MESSAGE"; $1, when given, the priorities (0..6).
journal() {
  journalctl -o verbose --no-pager ${1:+-p $1} SYSLOG_IDENTIFIER=CorvaneService | awk '
    /^[^ ]/ { if (message != "") print priority, message; priority = ""; message = "" }
    /^    PRIORITY=/ { priority = substr($0, 14) }
    /^    MESSAGE=/ { message = substr($0, 13) }
    END { if (message != "") print priority, message }'
}

# An interface of this namespace with a broadcast domain, for the relay's directed broadcast.
broadcast_interface() {
  ip link add wol0 type veth peer name wol1 && ip addr add 10.200.0.1/24 brd + dev wol0 &&
    ip link set wol0 up && ip link set wol1 up
}

# Prints "DESTINATION-MAC PAYLOAD-START" for each IPv4 UDP frame to port $1 that arrives at wol1,
# the far end of the relay's link, for 8 s.
capture_frames() {
  /usr/bin/python3 -u -c '
import socket, sys, time
port = int(sys.argv[1])
capture = socket.socket(socket.AF_PACKET, socket.SOCK_RAW, socket.htons(3))
capture.bind(("wol1", 0))
capture.settimeout(0.2)
print("capturing")
end = time.time() + 8
while time.time() < end:
    try:
        frame = capture.recv(2048)
    except socket.timeout:
        continue
    if len(frame) < 42 or frame[12:14] != b"\x08\x00" or frame[23] != 17:
        continue
    udp = 14 + (frame[14] & 15) * 4
    if int.from_bytes(frame[udp + 2:udp + 4], "big") == port:
        print(frame[0:6].hex(":").upper(), frame[udp + 8:udp + 20].hex().upper())' "$1"
}

main_pid() { systemctl show -p MainPID --value $unit; }

# Prints the unit's main PID once it is neither 0 nor $1; waits up to $2 tenths of a second.
new_main_pid() {
  local pid
  for _ in $(seq "$2"); do
    pid=$(main_pid)
    if [ "$pid" != 0 ] && [ "$pid" != "$1" ]; then echo "$pid"; return 0; fi
    sleep 0.1
  done
  return 1
}

restarts() { systemctl show -p NRestarts --value $unit; }

relay() {
  local out
  out=$("$tool" relay 2>&1)
  check "$1" "$?" 0
  echo "$out" | sed 's/^/        /'
}

actions() {
  broadcast_interface
  if [ "${CORVANE_SANITIZE:-}" = address ]; then
    # The leak checker stops the world with ptrace, which the unit's system call filter denies;
    # the service program's leaks are checked where it runs outside the unit.
    mkdir -p /etc/systemd/system/$unit.d
    # A crash must end the process by its signal, as it does without the sanitizer.
    printf '[Service]\nEnvironment=ASAN_OPTIONS=detect_leaks=0:handle_segv=0\n' \
      >/etc/systemd/system/$unit.d/asan.conf
  fi
  mkdir -p $HOME /tmp/nobody && chown nobody:nogroup /tmp/nobody
  check "profile written" "$(act profile)" ""
  HOME=/tmp/nobody setpriv --reuid=nobody --regid=nogroup --clear-groups "$tool" profile

  echo "--- without root every action asks for an administrator"
  for action in install start stop remove; do
    check "$action as nobody" "$(as_nobody $action)" "$no_manager"
  done
  check "apply as nobody" "$(as_nobody apply | tail -n 1)" "$administrator"
  check "no unit file was written" "$(ls /etc/systemd/system/$unit 2>&1 >/dev/null | wc -l)" 1

  echo "--- install, start, check points, relay, apply, stop"
  check "install" "$(act install)" "$installed"
  check "enabled at boot" "$(systemctl is-enabled $unit)" enabled
  check "the service program was copied" "$(cmp /share/bin/CorvaneService /opt/corvane/CorvaneService && echo same)" same
  check "the configuration was copied" "$(cmp $HOME/Corvane/profile.dat /opt/corvane/CorvaneService.dat && echo same)" same
  check "ordered after the network is up" \
    "$(systemctl show -p Wants -p After --value $unit | grep -o network-online.target | sort -u)" \
    network-online.target
  check "start" "$(act start)" "Success: The service started successfully."
  check "running after start" "$(state)" active
  check "start again" "$(act start)" "Success: The service is already running."
  check "running, asked as nobody" "$(as_nobody running)" yes
  for point in 1 2; do
    systemctl kill -s HUP --kill-whom=main $unit
    for _ in $(seq 50); do
      status=$(systemctl show -p StatusText --value $unit)
      [ "${status%%;*}" = "running, check point $point" ] && break; sleep 0.1
    done
    check "SIGHUP $point" "${status%%;*}" "running, check point $point"
  done
  check "still running after SIGHUP" "$(state)" active
  pid=$(systemctl show -p MainPID --value $unit)
  check "open file limit raised to its maximum" \
    "$(awk '/Max open files/ { print ($4 == $5) }' /proc/$pid/limits)" 1
  relay "relayed by the service that systemd started (port 9 in, broadcast and name out)"
  check "install again while running" "$(act install)" "$installed"
  wait_state inactive
  check "stopped by the new install" "$(state)" inactive
  check "start after the new install" "$(act start)" "Success: The service started successfully."
  check "apply" "$(act apply)" "$applied"
  check "stop" "$(act stop)" "Success: The service stopped successfully."
  wait_state inactive
  check "stopped after stop" "$(state)" inactive
  check "stop again" "$(act stop)" "Success: The service is already stopped."

  echo "--- a service that ends on its own (no configuration) is in the journal as an error"
  mv /opt/corvane/CorvaneService.dat /tmp/dat
  check "start without configuration" "$(act start)" "Success: The service started successfully."
  wait_state inactive
  mv /tmp/dat /opt/corvane/CorvaneService.dat

  echo "--- the start fails: the service program is missing"
  mv /opt/corvane/CorvaneService /tmp/program
  check "start without its program" "$(act start)" "Failed: Can not start the service.
$reinstall"
  check "the unit failed" \
    "$(for p in ActiveState Result ExecMainStatus; do systemctl show -p $p --value $unit; done)" \
    "failed
exit-code
203"
  journalctl -o cat --no-pager -u $unit | grep -E "203|executable" | sed 's/^/        systemd: /'
  mv /tmp/program /opt/corvane/CorvaneService
  systemctl reset-failed $unit

  echo "--- a masked unit"
  # `systemctl mask` refuses while the unit file is in /etc; the control folder outranks it.
  mkdir -p /etc/systemd/system.control
  ln -s /dev/null /etc/systemd/system.control/$unit && systemctl daemon-reload
  check "start of a masked unit" "$(act start)" "Failed: The service is disabled.
$reinstall"
  check "still stopped" "$(state)" inactive
  rm /etc/systemd/system.control/$unit && systemctl daemon-reload

  echo "--- the system bus is stopped: root talks to systemd on its own socket"
  systemctl stop dbus.socket dbus.service
  check "the bus is gone" "$(busctl --system status >/dev/null 2>&1 && echo up || echo down)" down
  check "start without the bus" "$(act start)" "Success: The service started successfully."
  check "running, asked without the bus" "$(act running)" yes
  check "start as nobody without the bus" "$(as_nobody start)" "$no_manager"
  check "stop without the bus" "$(act stop)" "Success: The service stopped successfully."
  wait_state inactive
  systemctl start dbus.socket dbus.service

  echo "--- the journal"
  journal 0..6 | sed 's/^/        /'
  check "information entries" "$(journal | grep -c '^6 Service is \(running\|stopped\)\.$')" 8
  check "the error entry" "$(journal | grep -c '^3 Configuration file was not found\.$')" 1

  echo "--- the unit's exposure"
  score=$(systemd-analyze security --no-pager $unit | awk '/Overall exposure level/ { print $(NF-2) }')
  echo "        systemd-analyze security: $(systemd-analyze security --no-pager $unit | tail -n 1)"
  check "exposure at most $CORVANE_SECURITY_TARGET" \
    "$(awk -v s="$score" -v t="$CORVANE_SECURITY_TARGET" 'BEGIN { print (s != "" && s <= t) }')" 1

  heal

  # What the install left, for the next boot.
  mkdir -p /share/seed/etc/systemd/system /share/seed/opt
  cp -a /etc/systemd/system/$unit* /etc/systemd/system/multi-user.target.wants \
    /share/seed/etc/systemd/system/
  cp -a /opt/corvane /share/seed/opt/

  echo "--- remove"
  check "remove" "$(act remove)" "Success: The service removed successfully."
  check "the unit file is gone" "$(test -e /etc/systemd/system/$unit && echo there || echo gone)" gone
  check "the programs stay" "$(ls /opt/corvane | tr '\n' ' ')" "CorvaneService CorvaneService.dat "
  check "remove again" "$(act remove)" "Success: The service already deleted."
  check "start after remove" "$(act start)" "Failed: Can not open the service.
$reinstall"

  corvanectl
}

# corvanectl's actions from a JSON configuration, as a headless host runs them.
corvanectl() {
  echo "--- corvanectl: install, apply, start, a packet relayed, status with totals, stop, remove"
  local program=/share/bin/corvanectl json=/tmp/relay.json
  ctl() { "$program" "$@" 2>&1; echo "exit $?"; }
  cat >$json <<'JSON'
{"ProxyServers": [{"ServerName": "relay", "ServerAutoStartOnService": true, "RecvPort": 9,
  "DontRecvFromYourIp": false,
  "SendToHostsList": [{"Host": "127.0.0.1", "Prefix": 32, "Port": 40009}]}]}
JSON
  chmod 644 $json
  check "corvanectl install as nobody" \
    "$(HOME=/tmp/nobody setpriv --reuid=nobody --regid=nogroup --clear-groups "$program" install $json 2>&1; echo "exit $?")" \
    "$no_manager
exit 1"
  check "corvanectl install" "$(ctl install $json)" "$installed
exit 0"
  check "the configuration is root's alone" "$(stat -c '%a %U' /opt/corvane/CorvaneService.dat)" "600 root"
  cp /opt/corvane/CorvaneService.dat /tmp/installed.dat
  echo '{"ProxyServers": [{"ServerName": "relay", "RecvPort": 70000}]}' >/tmp/bad.json
  check "corvanectl apply of a bad value" "$(ctl apply /tmp/bad.json)" \
    'Failed: Can not use "/tmp/bad.json": the JSON configuration was refused.
$.ProxyServers[0].RecvPort: 70000 is outside 0..65535
The installed configuration was not changed.
exit 1'
  check "the installed configuration stayed" \
    "$(cmp /tmp/installed.dat /opt/corvane/CorvaneService.dat && echo same)" same
  check "corvanectl apply" "$(ctl apply $json)" "$applied
exit 0"
  check "corvanectl start" "$(ctl start)" "Success: The service started successfully.
exit 0"
  out=$("$tool" relay 9 40009 2>&1)
  check "relayed by the service that corvanectl installed" "$?" 0
  settled_totals >/dev/null
  check "corvanectl status" \
    "$(ctl status | sed -E 's/[1-9][0-9]* (received|sent)/N \1/g')" \
    "CorvaneService.service: active (running)
running, check point 0; 1 proxy server; N received, 0 ignored, N sent, 0 failed, 0 woke, 0 not seen, 0 dropped
exit 0"
  check "corvanectl stop" "$(ctl stop)" "Success: The service stopped successfully.
exit 0"
  wait_state inactive
  check "corvanectl status, stopped" "$(ctl status | sed -n '1p;$p')" \
    "CorvaneService.service: inactive (dead)
exit 3"
  check "corvanectl remove" "$(ctl remove)" "Success: The service removed successfully.
exit 0"
  check "corvanectl status, removed" "$(ctl status)" "CorvaneService.service: not installed
exit 3"
}

# A crash or a hang brings the service back; a stop, or the service ending itself, does not.
heal() {
  echo "--- a crashed or hung service comes back; a deliberate end stays ended"
  systemctl reset-failed $unit  # a fresh count for the start limit
  check "start" "$(act start)" "Success: The service started successfully."
  local pid new
  pid=$(main_pid)
  systemctl kill -s SEGV --kill-whom=main $unit
  new=$(new_main_pid "$pid" 50)
  check "a new main process within 5 s of SIGSEGV" "$([ -n "$new" ] && echo yes)" yes
  wait_state active
  check "active again" "$(state)" active
  relay "relayed after the crash"

  echo "--- a hung service: the watchdog (2 s here) restarts it"
  mkdir -p /etc/systemd/system/$unit.d
  printf '[Service]\nWatchdogSec=2s\n' >/etc/systemd/system/$unit.d/watchdog.conf
  systemctl daemon-reload && systemctl restart $unit
  pid=$(main_pid)
  sleep 5  # more than twice the watchdog's time
  check "a service that answers the watchdog keeps running" "$(main_pid) $(state)" "$pid active"
  kill -STOP "$pid"
  new=$(new_main_pid "$pid" 100)
  check "a new main process after the watchdog's time" "$([ -n "$new" ] && echo yes)" yes
  check "the watchdog ended the old one" \
    "$(journalctl -o cat --no-pager -u $unit | grep -c 'Watchdog timeout')" 1
  rm /etc/systemd/system/$unit.d/watchdog.conf && systemctl daemon-reload

  echo "--- stop, and the service's own end, stay ended"
  check "stop" "$(act stop)" "Success: The service stopped successfully."
  wait_state inactive
  local before
  before=$(restarts)
  sleep 3  # three times the restart delay
  check "still stopped after a stop" "$(state) $(restarts)" "inactive $before"
  "$tool" profile unflagged >/dev/null && act apply >/dev/null
  check "start without a flagged proxy server" "$(act start)" \
    "Success: The service started successfully."
  wait_state inactive
  sleep 3
  check "ended by itself once, not restarted" \
    "$(state) $(restarts) $(journal | grep -c 'does not contain proxies')" "inactive 0 1"
  act profile >/dev/null && act apply >/dev/null

  echo "--- a crash loop ends at systemd's start limit"
  systemctl reset-failed $unit
  check "start" "$(act start)" "Success: The service started successfully."
  pid=0
  for _ in $(seq 8); do
    new=$(new_main_pid "$pid" 30) || break
    kill -SEGV "$new"
    pid=$new
  done
  wait_state failed
  check "failed at the start limit: the fifth restart is refused" \
    "$(state) $(restarts) $(journalctl -o cat --no-pager -u $unit | grep -c 'repeated too quickly')" \
    "failed 5 1"
  systemctl reset-failed $unit
}

status_text() { systemctl show -p StatusText --value $unit; }

# Waits up to 10 s until the status text's totals stay the same for two seconds; prints them.
settled_totals() {
  local last="" now
  for _ in $(seq 10); do
    sleep 2
    now=$(status_text)
    [ "$now" = "$last" ] && break
    last=$now
  done
  echo "${now#*; }"
}

# node_exporter inside this boot, on loopback only, with its textfile collector alone.
scrape() {
  /usr/bin/python3 -c 'import urllib.request
print(urllib.request.urlopen("http://127.0.0.1:9100/metrics", timeout=5).read().decode(), end="")'
}
start_exporter() {
  prometheus-node-exporter --web.listen-address=127.0.0.1:9100 --collector.disable-defaults \
    --collector.textfile --collector.textfile.directory=/var/lib/prometheus/node-exporter \
    >/tmp/exporter.log 2>&1 &
  exporter=$!
  for _ in $(seq 50); do scrape >/dev/null 2>&1 && return 0; sleep 0.1; done
  cat /tmp/exporter.log
  return 1
}

boot() {
  broadcast_interface
  check "running after boot" "$(state)" active
  check "started after network-online.target" \
    "$(systemctl list-dependencies --after --plain --no-pager $unit | grep -c network-online.target)" 1
  capture_frames 40011 >/tmp/frames &
  for _ in $(seq 50); do grep -q capturing /tmp/frames && break; sleep 0.1; done
  relay "relayed after boot"
  "$tool" send 9 1 02:00:00:00:00:99 >/dev/null  # ignored by the MAC filter
  echo "--- the totals, the trace and the counters"
  totals=$(settled_totals)
  echo "        StatusText: $(status_text)"
  check "the status text carries the totals" \
    "$(status_text | sed -E 's/[0-9]+ (received|sent)/N \1/g')" \
    "running, check point 0; 1 proxy server; N received, 1 ignored, N sent, 0 failed, 0 woke, 0 not seen, 0 dropped"
  label='Proxy server "relay" port 9'
  check "the trace has the accepted packets" \
    "$(journal 7..7 | grep -c "^7 $label: from 127.0.0.1 port [0-9]*, MAC 00:11:22:33:44:55, password none: accepted$" | sed 's/[1-9][0-9]*/some/')" some
  check "the trace has the ignored packet" \
    "$(journal 7..7 | grep -c "^7 $label: from 127.0.0.1 port [0-9]*, MAC 02:00:00:00:00:99, password none: ignored because of the filter by MAC address$")" 1
  check "the trace has the sends" \
    "$(journal 7..7 | grep -o "$label: sent to [0-9.]* port 400[0-9][0-9]" | LC_ALL=C sort -u | sed 's/.*to //')" \
    "10.200.0.2 port 40011
10.200.0.255 port 40009
127.0.0.1 port 40010"
  check "the host that answers no ARP got the packet as a frame to the MAC it wakes" \
    "$(sed -n 2p /tmp/frames)" "00:11:22:33:44:55 FFFFFFFFFFFF001122334455"
  check "the trace tells of the frame" \
    "$(journal 7..7 | grep -c "^7 $label: sent to 10.200.0.2 port 40011, MAC 00:11:22:33:44:55, also as a frame to 00:11:22:33:44:55 on wol0: no ARP answer$" | sed 's/[1-9][0-9]*/some/')" some
  check "the events are those of a service without a trace" "$(journal 0..6)" "6 Service is running."

  start=$(date +%s)
  "$tool" send 9 20000 | sed 's/^/        /'
  totals=$(settled_totals)
  seconds=$(( $(date +%s) - start ))
  echo "        after the flood: $totals, $seconds s"
  read -r received _ ignored _ sent _ failed _ _ _ _ _ _ dropped _ \
    <<<"$(echo "$totals" | sed 's/^[^;]*; //; s/,//g')"
  written=$(journal 7..7 | grep "^7 $label: " | grep -vc ': [0-9]* received, ')
  left_out=$(journal 7..7 | sed -n "s/^7 [0-9]* trace lines left out: \([0-9]*\) by $label$/\1/p" |
             awk '{ s += $1 } END { print s + 0 }')
  echo "        trace: $written lines written, $left_out left out"
  check "every received, sent and failed packet is traced or counted as left out" \
    "$((written + left_out))" "$((received + sent + failed))"
  check "at most 100 trace lines a second" "$((written <= 100 * (seconds + 5)))" 1
  check "lines were left out" "$((left_out > 0))" 1
  systemctl kill -s USR1 --kill-whom=main $unit
  expected="7 $label: $received received, $((received - ignored)) accepted, $ignored ignored ($ignored mac), $sent sent, 0 send failures, 0 resolve failures, 0 woke, 0 not seen, $dropped dropped"
  for _ in $(seq 50); do journal 7..7 | grep -qxF "$expected" && break; sleep 0.1; done
  check "SIGUSR1 writes the counters" "$(journal 7..7 | grep -cxF "$expected")" 1
  check "still running after SIGUSR1" "$(state)" active
  check "the journal at priorities 0 to 6 is unchanged" "$(journal 0..6)" "6 Service is running."

  echo "--- the metrics, scraped from node_exporter"
  if start_exporter; then
    check "node_exporter reads the file" "$(scrape | grep '^node_textfile_scrape_error')" \
      "node_textfile_scrape_error 0"
    check "proxy servers running" "$(scrape | grep '^corvane_proxy_servers_running')" \
      "corvane_proxy_servers_running 1"
    check "the corvane_ series" "$(scrape | grep -c '^corvane_[a-z_]*{port="9",.*server="relay"} ')" 15
  else
    check "node_exporter started" no yes
  fi
  check "stop" "$(act stop)" "Success: The service stopped successfully."
  wait_state inactive
  check "the journal after stop" "$(journal 0..6 | tail -n 1)" "6 Service is stopped."
  if [ -n "${exporter:-}" ]; then
    check "the metrics of the stop" \
      "$(scrape | grep -E '^corvane_(proxy_servers_running|packets_received_total)')" \
      "corvane_packets_received_total{port=\"9\",server=\"relay\"} $received
corvane_proxy_servers_running 0"
    check "the metrics file" "$(stat -c '%a %U' /var/lib/prometheus/node-exporter/corvane.prom)" \
      "644 root"
    kill $exporter
  fi
}

"$1"
echo "$failures failed checks"
[ $failures -eq 0 ]
