#!/usr/bin/env bash
# Tells how the i686 run's results compare with the last x86-64 run's
# (build/wine): the conformance suite's text, the monitor's answers (the
# x86-64 sizes taken to the 32-bit records), and what each step of the
# agent's and the wizard's scenarios changed and showed under Wine. It only informs: each run is checked
# against the stand-in on its own.
source "$(dirname "$0")/common.sh"
other=$root/build/wine
same=()
cd "$wine_dir"
for name in conformance.txt *-wine.txt scenarios/*/*-wine.changes scenarios/*/*-wine.transcript; do
  file=$wine_dir/$name
  [ -f "$other/$name" ] || continue
  if [ "$name" = monitor-wine.txt ]; then
    port_records_to x86_64 "$OVL_WINE_ARCH" < "$other/$name" > "$wine_dir/x86_64-$name"
  else
    mkdir -p "$(dirname "$wine_dir/x86_64-$name")"
    cp "$other/$name" "$wine_dir/x86_64-$name"
  fi
  if diff "$wine_dir/x86_64-$name" "$file" > "$wine_dir/x86_64-$name.diff"; then
    same+=("${name%.txt}")
  else
    echo "wine: $OVL_WINE_ARCH: ${name%.txt} differs from the x86-64 run (< x86-64, > $OVL_WINE_ARCH):"
    grep '^[<>]' "$wine_dir/x86_64-$name.diff" | sed 's/^/  /'
  fi
done
if [ ${#same[@]} -eq 0 ]; then
  echo "wine: $OVL_WINE_ARCH: no results of an x86-64 run in build/wine to compare with"
else
  echo "wine: $OVL_WINE_ARCH: ${#same[@]} results the same as the x86-64 run"
fi
