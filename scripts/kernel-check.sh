#!/usr/bin/env bash
# Runs the tests labelled "socketcan" (real SocketCAN sockets on vcan interfaces) inside a Linux
# kernel of their own: Debian's user-mode Linux (linux.uml, package user-mode-linux), an ordinary
# process, with the host's file system as a read-only root and tmpfs wherever the tests write.
# Usage: scripts/kernel-check.sh [BUILD_DIR [COMMAND...]]   (default: build, already built)
# With COMMAND, runs that inside instead of the tests (bench/socketcan_throughput.sh does).
# Exit status: ctest's (or COMMAND's) inside the kernel; 77 (and a SKIP line) when no such kernel
# can run here.
set -uo pipefail

readonly skip_status=77
# Seconds for boot, tests and halt together.
readonly time_limit=${KERNEL_CHECK_SECONDS:-300}
build=$(realpath "${1:-build}")
shift $(($# > 0 ? 1 : 0))
inside="ctest --test-dir $(printf %q "$build") -L socketcan --output-on-failure --timeout 120"
[ $# -gt 0 ] && inside=$(printf '%q ' "$@")
log=$build/kernel-check.log

skip() {
    echo "SKIP: SocketCAN tests in a user-mode Linux kernel: $*"
    exit $skip_status
}

command -v linux.uml >/dev/null || skip "no linux.uml (install user-mode-linux)"
command -v insmod >/dev/null || skip "no insmod (install kmod)"
preload=$build/lib/uml_xstate_preload.so
[ -f "$preload" ] || skip "$preload is not built"
[ -f "$build/CTestTestfile.cmake" ] || skip "$build holds no configured build"
modules=$(find /usr/lib/uml/modules -mindepth 1 -maxdepth 1 -type d 2>/dev/null | head -n1)
[ -n "$modules" ] || skip "no modules under /usr/lib/uml/modules"

# Writable scratch inside: tmpfs over the usual folders, except one that holds the build (a
# clone under /tmp stays visible); the first of them is the tests' TMPDIR.
scratch=()
for d in /tmp /run /mnt; do
    case "$build/" in "$d"/*) continue ;; esac
    [ -d "$d" ] && scratch+=("$d")
done
[ ${#scratch[@]} -gt 0 ] || skip "no folder for scratch files outside $build"

work=$(mktemp -d /tmp/kernel-check.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$build/Testing" "$work/uml"

# The kernel's init: the CAN modules, the interfaces, then ctest; its status comes back on the
# console after a marker, since nothing inside can write to the host.
cat >"$work/init.sh" <<EOF
#!/bin/sh
export PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/tmp TERM=dumb
# The user-mode kernel keeps no AVX-512 registers of its processes (see uml_xstate_preload.cpp):
# the C library must not pick its AVX-512 routines.
export GLIBC_TUNABLES=glibc.cpu.hwcaps=-AVX512F,-AVX512VL,-AVX512BW,-AVX512DQ,-AVX512CD,-EVEX
mount -t proc proc /proc
mount -t sysfs sys /sys
for d in ${scratch[*]} "$build/Testing" "$build/tests/home"; do mount -t tmpfs tmp "\$d"; done
export TMPDIR=${scratch[0]}
dmesg -n 1
ok=1
for m in net/can/can.ko net/can/can-raw.ko drivers/net/can/dev/can-dev.ko drivers/net/can/vcan.ko; do
    insmod "$modules/kernel/\$m" || ok=0
done
# Classic CAN, as the program's ports read it (a new vcan interface takes CAN FD frames too).
ip link add vcan0 mtu 16 type vcan && ip link add vcan1 mtu 16 type vcan &&
    ip link set vcan0 up && ip link set vcan1 up || ok=0
if [ \$ok = 1 ]; then
    echo "kernel-check: tests begin"
    $inside </dev/null 2>&1
    echo "kernel-check: status \$?"
else
    echo "kernel-check: no vcan interfaces"
fi
halt -f
EOF
chmod +x "$work/init.sh"

echo "Booting the user-mode Linux kernel for the SocketCAN tests (console: $log)"
start=$(date +%s)
LD_PRELOAD=$preload timeout --kill-after=10 $time_limit linux.uml mem=512M rootfstype=hostfs rootflags=/ ro \
    init="$work/init.sh" uml_dir="$work/uml" con=null con0=fd:0,fd:1 </dev/null >"$log" 2>&1
kernel_status=$?
tr -d '\r' <"$log" >"$work/console"
end=$(date +%s)

if grep -q '^kernel-check: tests begin' "$work/console"; then
    sed -n '/^kernel-check: tests begin/,/^kernel-check: status/p' "$work/console" | sed '1d;$d'
fi
status=$(sed -n 's/^kernel-check: status \([0-9]*\)$/\1/p' "$work/console")
if [ -n "$status" ]; then
    echo "In the kernel: exit status $status, $((end - start)) s in all"
    exit "$status"
fi
grep -q '^kernel-check: no vcan interfaces' "$work/console" &&
    skip "the kernel could not load the CAN modules or make vcan interfaces (see $log)"
grep -q '^kernel-check: tests begin' "$work/console" && {
    echo "FAIL: the tests in the kernel did not finish within $time_limit s (see $log)"
    exit 1
}
skip "linux.uml did not boot (exit status $kernel_status; see $log)"
