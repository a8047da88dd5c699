#!/usr/bin/env bash
# Builds the emulated machine that runs the Windows suite where this machine cannot execute 32-bit
# programs: a Debian 12 guest for qemu-system-x86_64 (software emulation, no KVM needed) whose
# kernel runs them, with 32-bit Wine 8 (no wine64: the virtual device's 32-bit driver needs a
# 32-bit prefix), CMake/CTest, the LLVM tools the build tree names, python3 and unzip.
#
#   build.sh VM-DIR      (as root; Debian's package registry; about 7 minutes on 2 cores)
#
# VM-DIR receives root/ (the guest's tree), rootfs.ext4, vmlinuz and initrd.img.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
vm=${1:?usage: build.sh VM-DIR}
mkdir -p "$vm"
vm=$(cd "$vm" && pwd)
cd "$vm"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends qemu-system-x86 debootstrap e2fsprogs >/dev/null

# The guest takes its packages from the mirror this machine's apt uses.
mirror=$(awk '/^URIs:/ { print $2; exit }' /etc/apt/sources.list.d/debian.sources 2>/dev/null || true)
rm -rf root
debootstrap --variant=minbase --arch=amd64 --include=busybox,kmod,udev bookworm root $mirror
if [ -f /etc/apt/sources.list.d/debian.sources ]; then
  rm -f root/etc/apt/sources.list
  cp /etc/apt/sources.list.d/debian.sources root/etc/apt/sources.list.d/
fi
# No service starts while packages install in the chroot.
printf '#!/bin/sh\nexit 101\n' > root/usr/sbin/policy-rc.d
chmod +x root/usr/sbin/policy-rc.d
mount -t proc proc root/proc
mount --rbind /dev root/dev
mount -t sysfs sys root/sys
trap 'umount -R root/dev root/proc root/sys 2>/dev/null || true' EXIT

# The build tree configured on this machine names its tools by absolute path: the guest has each
# of them at the same place.
links=""
for tool in clang++ lld-link llvm-dlltool llvm-readobj python3 cmake ctest; do
  path=$(command -v "$tool" || true)
  [ -n "$path" ] && links="$links $tool=$path"
done
chroot root /bin/bash -euc '
  export DEBIAN_FRONTEND=noninteractive
  dpkg --add-architecture i386
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends linux-image-amd64 wine wine32:i386 cmake make \
    procps clang-14 lld-14 llvm-14 python3 unzip >/dev/null
  for link in '"$links"'; do
    tool=${link%%=*}; path=${link#*=}
    case $tool in
      clang++) target=/usr/bin/clang++-14 ;;
      lld-link) target=/usr/bin/lld-link-14 ;;
      llvm-*) target=/usr/lib/llvm-14/bin/$tool ;;
      *) target=$(command -v $tool) ;;
    esac
    if [ "$target" != "$path" ] && [ ! -e "$path" ]; then
      mkdir -p "$(dirname "$path")"; ln -sf "$target" "$path"
    fi
  done
  apt-get clean'
umount -R root/dev root/proc root/sys
trap - EXIT
cp "$here/init" root/sbin/vminit
chmod +x root/sbin/vminit
cp -L root/boot/vmlinuz-* vmlinuz
cp -L root/boot/initrd.img-* initrd.img
rm -f rootfs.ext4
mkfs.ext4 -q -F -L wine32root -d root rootfs.ext4 6G
echo "wine-vm: built $vm"
