#!/usr/bin/env bash
# The port monitor driven the same way on the stand-in and under Wine: its
# answers must be the same, line for line, once the stand-in's sizes are
# those of the architecture's records (port_records_to in common.sh).
source "$(dirname "$0")/common.sh"
ovlsim=$root/build/default/bin/ovlsim
machine=$wine_dir/monitor-machine
rm -rf "$machine"
"$ovlsim" --machine "$machine" init >/dev/null
"$ovlsim" --machine "$machine" plug "Sorrelink 640" X1 >/dev/null
"$ovlsim" --machine "$machine" unplug X1 >/dev/null
OVLSIM_MACHINE=$machine "$root/build/default/bin/monitor_driver" > "$wine_dir/monitor-standin.txt"
for f in monitor_driver.exe ovlpom00.dll; do
  cp "$mingw_bin/$f" "$(prefix_path "C:\\Windows\\$f")"
done
run_wine 'C:\windows\monitor_driver.exe' > "$wine_dir/monitor-wine.txt" || true
port_records_to "$(uname -m)" "$OVL_WINE_ARCH" < "$wine_dir/monitor-standin.txt" \
  > "$wine_dir/monitor-expected.txt"
if diff -u "$wine_dir/monitor-expected.txt" "$wine_dir/monitor-wine.txt"; then
  echo "wine: monitor: $(wc -l < "$wine_dir/monitor-wine.txt") answers, the same on both" \
    "(records of ${port_record_sizes[$OVL_WINE_ARCH]// / and } bytes)"
else
  echo "wine: monitor: the answers differ" >&2
  exit 1
fi
