#!/bin/bash
# Boots the machine's own systemd (/lib/systemd/systemd) as PID 1 of new PID, mount, UTS, IPC,
# network and cgroup namespaces, on a throw-away overlay of /, runs one command inside it with
# nsenter, then powers that systemd off and removes every trace. The host's units, /etc, /opt,
# journal and network are never touched: the command sees a private network with only loopback.
# Needs root and a cgroup2 hierarchy (pure cgroup v2, or hybrid with /sys/fs/cgroup/unified).
#
#   systemd_namespace.sh COMMAND...   exit status: that of COMMAND (1 when systemd did not boot)
#   SHARE=DIR   bind-mounted at /share inside (programs, unit files, scripts, results)
#   SEED=DIR    copied over / before boot (e.g. etc/systemd/system/... to enable a unit at boot,
#               opt/... for installed files)
# Inside, systemctl, journalctl, busctl, systemd-analyze and the system bus
# (/run/dbus/system_bus_socket) work.
# Example:
#   SHARE=/tmp/x tests/system/systemd_namespace.sh sh -c 'systemctl is-system-running; /share/t.sh'
set -euo pipefail
if [ $# -eq 0 ]; then echo "usage: SHARE=DIR SEED=DIR $0 COMMAND..." >&2; exit 2; fi
W=$(mktemp -d /tmp/corvane-sysd.XXXXXX); SHARE=${SHARE:-$W/share}; SEED=${SEED:-}; CG=
mkdir -p "$SHARE" "$W/ov" "$W/root"
for d in /sys/fs/cgroup/unified /sys/fs/cgroup; do   # hybrid host first, then pure cgroup v2
  if [ "$(stat -f -c %T $d 2>/dev/null)" = cgroup2fs ]; then CG=$d/corvane-sysd.$$; mkdir $CG; break; fi
done
[ -n "$CG" ] || { echo "systemd_namespace.sh: no cgroup2 hierarchy" >&2; rm -rf "$W"; exit 1; }
# Units that have nothing to do in a container, or that would touch the host's kernel settings.
MASK="postgresql.service getty.target console-getty.service systemd-logind.service
 systemd-sysctl.service systemd-binfmt.service proc-sys-fs-binfmt_misc.automount
 sys-kernel-config.mount sys-kernel-debug.mount sys-kernel-tracing.mount dev-hugepages.mount
 sys-fs-fuse-connections.mount systemd-modules-load.service kmod-static-nodes.service
 systemd-firstboot.service systemd-machine-id-commit.service systemd-pstore.service
 systemd-repart.service systemd-timesyncd.service e2scrub_reap.service remote-fs.target"
cat > "$W/inner.sh" <<EOF
set -eu; mount -t tmpfs tmpfs $W/ov; mkdir $W/ov/u $W/ov/w
mount -t overlay overlay -o lowerdir=/,upperdir=$W/ov/u,workdir=$W/ov/w $W/root; cd $W/root
mount -t proc proc proc; mount --bind proc/sys proc/sys; mount -o remount,bind,ro proc/sys
mount -t sysfs -o ro sysfs sys; mount -t cgroup2 cgroup2 sys/fs/cgroup
mount -t tmpfs -o mode=755,nosuid tmpfs dev; mkdir dev/pts dev/shm
for n in null zero full random urandom tty; do touch dev/\$n; mount --bind /dev/\$n dev/\$n; done
ln -s pts/ptmx dev/ptmx; ln -s /proc/self/fd dev/fd
mount -t devpts -o newinstance,ptmxmode=0666 devpts dev/pts; mount -t tmpfs tmpfs dev/shm
for d in run tmp etc/systemd/system; do mount -t tmpfs -o mode=755 tmpfs \$d; done
chmod 1777 tmp dev/shm; mkdir -p share; mount --bind $SHARE share
for u in $(echo $MASK); do ln -s /dev/null etc/systemd/system/\$u; done
if [ -n "$SEED" ]; then cp -a "$SEED"/. .; fi
mkdir -p oldroot; pivot_root . oldroot; umount -l /oldroot
exec env -i container=other PATH=/usr/sbin:/usr/bin /lib/systemd/systemd --unit=multi-user.target
EOF
setsid sh -c "echo \$\$ > $CG/cgroup.procs; exec unshare -pmuin -C -f sh $W/inner.sh" \
  > "$W/boot.log" 2>&1 < /dev/null &
UNSHARE=$!; PID1=
cleanup() {
  if [ -n "$PID1" ] && [ -d /proc/$PID1 ]; then
    kill -s SIGRTMIN+4 "$PID1"   # poweroff: stops every unit, then PID 1 ends
    for _ in $(seq 150); do [ -d /proc/$PID1 ] || break; sleep 0.1; done
    if [ -d /proc/$PID1 ]; then kill -KILL "$PID1"; fi
  fi
  wait $UNSHARE 2>/dev/null || true
  find "$CG" -depth -type d -exec rmdir {} + 2>/dev/null || true; rm -rf "$W"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
for _ in $(seq 100); do
  PID1=$(awk '{print $1}' /proc/$UNSHARE/task/$UNSHARE/children 2>/dev/null || true)
  [ -n "$PID1" ] && [ "$(cat /proc/$PID1/comm 2>/dev/null)" = systemd ] && break; sleep 0.1
done
if [ "$(cat /proc/$PID1/comm 2>/dev/null)" != systemd ]; then
  echo "systemd_namespace.sh: systemd did not boot" >&2; cat "$W/boot.log" >&2; exit 1
fi
for _ in $(seq 100); do nsenter -t $PID1 -a test -S /run/systemd/private && break; sleep 0.1; done
echo "systemd_namespace.sh: host PID $PID1:" \
     "$(timeout 60 nsenter -t $PID1 -a systemctl is-system-running --wait || true)"
set +e; nsenter -t "$PID1" -a "$@"; exit $?
