#!/usr/bin/env bash
# Runs a shell command as root in the emulated machine that build.sh made, with SHARE (a folder of
# this machine, the project's tree) shared into it at the same path, and prints what the command
# printed. The command starts in the caller's folder when that lies in SHARE.
#
#   run.sh VM-DIR SHARE 'COMMAND' [OVERLAY-DIR...]
#
# Each OVERLAY-DIR (inside SHARE) gets a layer in the guest's memory: the command sees the
# folder's files, and what it writes there is dropped at the end. Wine prefixes made there are
# about three times faster than through the share. The guest's own disk is opened copy-on-write,
# so nothing but what is written to SHARE outlives a run.
#
# Exits with the command's status; 124 when VM_TIMEOUT (seconds, default 3600) passes, 125 when the
# guest failed. VM_MEM (default 4G) and VM_SMP (default 2) size the guest.
#
# The CPU model leaves SMAP out: QEMU 7.2's emulation makes the stack reads of a user-mode IRET as
# supervisor accesses, and with SMAP on every Wine process dies with a kernel oops.
set -u
vm=$(cd "${1:?usage: run.sh VM-DIR SHARE COMMAND [OVERLAY-DIR...]}" && pwd)
share=$(cd "${2:?usage: run.sh VM-DIR SHARE COMMAND [OVERLAY-DIR...]}" && pwd)
command=${3:?usage: run.sh VM-DIR SHARE COMMAND [OVERLAY-DIR...]}
shift 3
for file in rootfs.ext4 vmlinuz initrd.img; do
  if [ ! -f "$vm/$file" ]; then
    echo "wine-vm: $vm/$file is missing: run tools/wine-vm/build.sh $vm first" >&2
    exit 125
  fi
done

mkdir -p "$share/build/wine-vm-jobs"
job=$(mktemp -d "$share/build/wine-vm-jobs/job.XXXXXX")
{
  n=0
  for dir in "$@"; do
    dir=$(cd "$dir" && pwd)
    n=$((n + 1))
    printf 'mkdir -p /tmp/.o%d/upper /tmp/.o%d/work && mount -t overlay overlay -o lowerdir=%q,upperdir=/tmp/.o%d/upper,workdir=/tmp/.o%d/work %q || exit 125\n' \
      "$n" "$n" "$dir" "$n" "$n" "$dir"
  done
  echo 'cd "$(cat "'"$job"'/cwd")" 2>/dev/null || true'
  printf '%s\n' "$command"
} > "$job/cmd"
case "$PWD/" in
  "$share"/*) pwd > "$job/cwd" ;;
  *) echo "$share" > "$job/cwd" ;;
esac
: > "$job/env"
: > "$job/out"

timeout --foreground -k 10 "${VM_TIMEOUT:-3600}" \
  qemu-system-x86_64 -machine q35 -accel tcg,thread=multi -cpu max,-smap,-la57 \
    -smp "${VM_SMP:-2}" -m "${VM_MEM:-4G}" \
    -display none -monitor none -serial "file:$job/console.log" -no-reboot \
    -kernel "$vm/vmlinuz" -initrd "$vm/initrd.img" \
    -append "root=/dev/vda rw init=/sbin/vminit console=ttyS0 quiet loglevel=3 panic=-1 vmjob=$job vmshare=$share" \
    -drive "file=$vm/rootfs.ext4,format=raw,if=virtio,snapshot=on" \
    -virtfs "local,path=$share,mount_tag=share,security_model=none,id=share" \
    -rtc base=utc -nic none &
qemu=$!
tail -n +1 -F --pid=$qemu "$job/out" 2>/dev/null &
tailer=$!
wait $qemu
qemu_status=$?
wait $tailer 2>/dev/null

if [ -f "$job/rc" ]; then
  status=$(cat "$job/rc")
  rm -rf "$job"
elif [ "$qemu_status" -eq 124 ]; then
  echo "wine-vm: timed out after ${VM_TIMEOUT:-3600} s; the guest's console is in $job" >&2
  status=124
else
  echo "wine-vm: the guest ended without an exit status (qemu $qemu_status); its console:" >&2
  tail -n 30 "$job/console.log" >&2
  status=125
fi
exit "$status"
