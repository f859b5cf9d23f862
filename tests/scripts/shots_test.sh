#!/usr/bin/env bash
# run-saver.sh --shots never takes over a folder holding anything but its own screenshots:
# it refuses before installing or building anything, and leaves every file as it was.
set -euo pipefail

script=$(cd "$(dirname "$0")/../.." && pwd)/scripts/run-saver.sh
work=$(mktemp -d /tmp/fotovane-shots.XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0

# name, how to make the folder $S given to --shots, the mode option
cases=(
  'foreign-file|mkdir $S && echo mine >$S/notes.txt|--linux'
  'foreign-file-windows|mkdir $S && echo mine >$S/notes.txt|--preview'
  'beside-old-frames|mkdir $S && touch $S/frame-01.png && echo mine >$S/.hidden|--linux'
  'subfolder|mkdir -p $S/album && echo mine >$S/album/a.jpg|--linux'
  'link-named-like-a-frame|mkdir $S && echo mine >mine.txt && ln -s ../mine.txt $S/frame-01.png|--linux'
  'a-file|echo mine >$S|--linux'
)
for entry in "${cases[@]}"; do
    IFS='|' read -r name make mode <<<"$entry"
    dir="$work/$name"
    mkdir -p "$dir"
    (cd "$dir" && S=shots && eval "$make")
    before=$(cd "$dir" && find . -printf '%p %y %s\n' | sort)
    status=0
    errors=$(cd "$dir" && timeout 60 bash "$script" "$mode" --shots shots 2>&1 >/dev/null) || status=$?
    after=$(cd "$dir" && find . -printf '%p %y %s\n' | sort)
    if [ "$status" -ne 2 ] || [ "$before" != "$after" ] || [[ "$errors" != *"$dir/shots"* ]]; then
        echo "FAILED $name: status $status, message '$errors'" >&2
        diff <(echo "$before") <(echo "$after") >&2 || true
        failures=$((failures + 1))
    else
        echo "ok $name"
    fi
done
[ "$failures" -eq 0 ]
