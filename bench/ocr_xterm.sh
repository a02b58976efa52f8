#!/bin/bash
# Terminal text from real xterm windows on a private Xvfb (with openbox, so each grab holds the window's
# frame and title bar): a man page excerpt and an ls -l listing, xterm -fa FONT -fs 8 and 10, light on
# dark and black on white. Each window is grabbed with glimmora-cli grab --window and read with
# glimmora-cli ocr, and by the tesseract command on the same PNG scaled 1x, 2x and 3x (its best counts).
# Accuracy as in ocr_bench --terminal: white space folded within each line, blank lines dropped.
# usage: bench/ocr_xterm.sh [BUILD_DIR]   (default build-rel)
set -u
BUILD=${1:-build-rel}
CLI="$BUILD/src/app/cli/glimmora-cli"
[ -x "$CLI" ] || { echo "no $CLI: build glimmora-cli first" >&2; exit 1; }
# shellcheck source=../scripts/common.sh
source "$(dirname "$0")/../scripts/common.sh"
OUT=$(mktemp -d)
trap 'stop_desktop; rm -rf "$OUT"' EXIT
start_desktop >/dev/null || exit 1
export OMP_THREAD_LIMIT=1

cat >"$OUT/man.txt" <<'EOF'
LS(1)                            User Commands                           LS(1)
NAME
       ls - list directory contents
SYNOPSIS
       ls [OPTION]... [FILE]...
DESCRIPTION
       List information about the FILEs (the current directory by default).
       Mandatory arguments to long options are mandatory for short options too.
       -a, --all
              do not ignore entries starting with .
       -A, --almost-all
              do not list implied . and ..
       --author
              with -l, print the author of each file
       -b, --escape
              print C-style escapes for nongraphic characters
EOF
cat >"$OUT/ls.txt" <<'EOF'
total 148
drwxr-xr-x  2 alice alice  4096 Mar  3 09:41 bin
-rw-r--r--  1 alice alice  1187 Feb 27 18:02 CMakeLists.txt
-rw-r--r--  1 alice alice 35149 Jan 12  2024 LICENSE
-rw-r--r--  1 alice alice  2873 Mar  3 09:40 README.md
drwxr-xr-x  5 alice alice  4096 Mar  1 14:22 build-rel
-rwxr-xr-x  1 alice alice 18232 Mar  3 09:41 configure
lrwxrwxrwx  1 alice alice    11 Feb 20 11:05 current -> release-1.4
-rw-------  1 alice alice   412 Mar  2 23:59 .env.local
drwxr-xr-x  8 alice alice  4096 Mar  3 09:42 .git
-rw-r--r--  1 alice alice    97 Feb 14 10:17 .gitignore
-rw-r--r--  1 alice alice 61440 Mar  3 08:15 notes_2025-03-03.tar
drwxr-xr-x 12 alice alice  4096 Mar  3 09:41 src
-rw-r--r--  1 alice alice     0 Mar  3 09:43 Untitled-1
EOF

accuracy() {  # reference read
    python3 - "$1" "$2" <<'EOF'
import sys
def norm(t):
    return '\n'.join(l for l in (' '.join(x.split()) for x in t.split('\n')) if l)
r, g = (norm(open(f).read()) for f in sys.argv[1:3])
row = list(range(len(g) + 1))
for i in range(1, len(r) + 1):
    d, row[0] = row[0], i
    for j in range(1, len(g) + 1):
        u = row[j]
        row[j] = min(row[j] + 1, row[j - 1] + 1, d + (r[i - 1] != g[j - 1]))
        d = u
print("%.1f" % (100 * max(0.0, 1 - row[-1] / len(r))))
EOF
}

echo "| font | xterm -fs | background | text | ours | \`tesseract\` command, best of 1x 2x 3x |"
echo "|---|---|---|---|---|---|"
for font in "DejaVu Sans Mono" "Liberation Mono"; do
  for size in 8 10; do
    for bg in dark light; do
      for text in man ls; do
        if [ "$bg" = dark ]; then colours=(-bg '#1d1f21' -fg '#c5c8c6'); else colours=(-bg white -fg black); fi
        title="ocr-$size-$bg-$text"
        xterm -fa "$font" -fs "$size" "${colours[@]}" -geometry 80x18+0+0 -title "$title" \
            -e sh -c "cat '$OUT/$text.txt'; exec sleep 600" &
        xterm_pid=$!
        png="$OUT/$title.png"
        # Drawn when a grab holds the same pixels as the one before it.
        rm -f "$png.a"
        shown() {
            local id
            id=$(xdotool search --name "^$title\$" | head -1)
            [ -n "$id" ] && "$CLI" grab --window "$id" "$png" || return 1
            cmp -s "$png" "$png.a" && return 0
            mv "$png" "$png.a"
            return 1
        }
        if ! wait_for_condition 30 shown; then
            echo "| $font | $size | $bg | $text | no window | |"
            kill "$xterm_pid"
            continue
        fi
        ours=$("$CLI" ocr "$png" 2>/dev/null)
        theirs=$(for scale in 100 200 300; do
            convert "$png" -resize "$scale%" "$OUT/scaled.png"
            tesseract "$OUT/scaled.png" stdout 2>/dev/null >"$OUT/theirs.txt"
            accuracy "$OUT/$text.txt" "$OUT/theirs.txt"
        done | sort -g | tail -1)
        echo "| $font | $size | $bg | $text | $(accuracy "$OUT/$text.txt" <(printf '%s\n' "$ours")) % | $theirs % |"
        kill "$xterm_pid"
        wait "$xterm_pid" 2>/dev/null
      done
    done
  done
done
