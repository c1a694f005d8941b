#!/bin/sh
# Mounts (or unmounts) small disks for the failure tests:
#   DIR/full      a 256 KiB tmpfs, to fill up during a run
#   DIR/full2, DIR/full4  the same for the runs with two and four writers,
#                 which may fill their own disks at the same time
#   DIR/readonly  an empty read-only tmpfs
# Mounting needs root; where it is refused the folders stay plain and the
# tests that need a mount skip with a message. Always exits 0.
#   small_disks.sh mount|unmount DIR
action=$1
dir=$2
for d in full full2 full4 readonly; do
  rm -f "$dir/$d.mounted"
  if mountpoint -q "$dir/$d" 2>/dev/null; then umount "$dir/$d" 2>/dev/null; fi
done
[ "$action" = unmount ] && exit 0

mkdir -p "$dir/full" "$dir/full2" "$dir/full4" "$dir/readonly"
# A marker beside each mount tells the tests (native or under Wine) it is there.
for d in full full2 full4; do
  if mount -t tmpfs -o size=256k,mode=0777 "quillmere-$d" "$dir/$d" 2>/dev/null; then
    touch "$dir/$d.mounted"
    echo "mounted $dir/$d (256 KiB)"
  else
    echo "cannot mount a tmpfs here (not root?): the disk-full test will skip"
  fi
done
if mount -t tmpfs -o ro,size=64k,mode=0777 quillmere-readonly "$dir/readonly" 2>/dev/null; then
  touch "$dir/readonly.mounted"
  echo "mounted $dir/readonly (read-only)"
fi
exit 0
