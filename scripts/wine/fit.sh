#!/usr/bin/env bash
# Whether every text of the troubleshooting wizard fits its control, under
# Wine on a screen of its own: the wizard driver works through the actions
# of tests/wine/wizard.script (every page and message box of the four
# options) and measures each visible text on each step with the control's
# font (tests/wine/wizard_fit.h). The printer has the longest port name a
# real one has: the family's models are named "Sorrelink 640" and
# "Sorrelink 880", and its serial numbers have 12 characters; the widest
# capital stands for each of them. A text that does not fit fails the check
# with the step, the control's ID, the text and the sizes; one that fits by
# less than 2 pixels is a warning (Wine's stand-ins for the Windows fonts are
# close to their widths, not equal to them). The smallest margin is reported.
source "$(dirname "$0")/common.sh"
source "$(dirname "$0")/seed.sh"
source "$(dirname "$0")/onscreen.sh"
start=$wine_dir/fit-start
results=$wine_dir/fit-results.txt
wizard_start "$start" 'Sorrelink 880' WWWWWWWWWWWW
rm -f "$results"
driver=0
wizard_on_screen "$start" "$root/tests/wine/wizard.script" \
  --fit "Z:${results//\//\\}" > "$wine_dir/fit-transcript.txt" || driver=$?
if [ "$driver" -ne 0 ] || [ ! -s "$results" ]; then
  echo "wine: fit: the driver stopped (status $driver) after:" >&2
  tail -n 3 "$wine_dir/fit-transcript.txt" >&2
  exit 1
fi

# The same text on the same control is measured once for each step that
# shows it: each is reported once, at its first step. A message box sizes its
# text to the text itself: it fits by construction and counts for neither the
# warnings nor the smallest margin.
tr -d '\r' < "$results" | sort -t "$(printf '\t')" -k3,3 -s | awk -F '\t' '
  { what = $3; sub(/^step [0-9]+ \([^)]*\), /, "", what) }
  !seen[what]++ { print }' | sort -t "$(printf '\t')" -k1,1n > "$wine_dir/fit-texts.txt"
failed=$(awk -F '\t' '$1 < 0' "$wine_dir/fit-texts.txt")
close=$(awk -F '\t' '$1 >= 0 && $1 < 2 && $2 == "layout"' "$wine_dir/fit-texts.txt")
smallest=$(awk -F '\t' '$1 >= 0 && $2 == "layout"' "$wine_dir/fit-texts.txt" | head -n 1)
echo "wine: fit: $(wc -l < "$wine_dir/fit-texts.txt") texts measured on" \
  "$(grep -c '^action: ' "$wine_dir/fit-transcript.txt") steps, smallest margin" \
  "${smallest%%$'\t'*} px: ${smallest##*$'\t'}"
if [ -n "$close" ]; then
  echo "wine: fit: warning: fits by less than 2 pixels:"
  cut -f 3 <<< "$close" | sed 's/^/  /'
fi
if [ -n "$failed" ]; then
  echo "wine: fit: does not fit:" >&2
  cut -f 3 <<< "$failed" | sed 's/^/  /' >&2
  exit 1
fi
