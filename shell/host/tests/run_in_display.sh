#!/usr/bin/env bash
# Runs the shell in the current display (the test starts this under
# xvfb-run) with page console output on stdout, and does what the page asks
# for on the way: "SNAPSHOT" takes a screenshot of the screen ("SNAPSHOT
# name" one of its own, <screenshot>-name.png, as does "shot name" inside
# an ACTION), "CHECKTITLE
# <text>" looks for a window of that title (answers in <output>.titles),
# "ANSWERDIALOG <title>" answers the message box of that title, "PRESSKEYS"
# types Ctrl+N, Ctrl+O, Ctrl+P and Ctrl+A into the "Keys" window, and
# "ACTION <bash commands>" runs those commands (xdotool where a person would
# click), their output going to <output>.actions. An optional fifth argument
# is a script sourced before the program starts (background daemons such as
# a tray host). Exits with the shell's code, or 124 when it did not end in time.
set -u
# Xvfb has no GPU: WebKit's DMA-BUF renderer then paints nothing, so the
# shared-memory path is used (the page runs the same either way).
export WEBKIT_DISABLE_DMABUF_RENDERER=1
# How dialogs ended goes to the program's error output the tests print.
export G_MESSAGES_DEBUG=nimbra
program=$1 output=$2 screenshot=$3 limit_s=${4:-60} setup=${5:-}
: > "$output"
: > "$output.titles"
: > "$output.actions"
if [ -n "$setup" ] && [ -s "$setup" ]; then
  # shellcheck disable=SC1090
  source "$setup" >> "$output.actions" 2>&1
fi
shot() {
  import -window root "${screenshot%.png}-$1.png" && echo "screenshot: ${screenshot%.png}-$1.png" >> "$output.stderr"
}
export -f shot
export screenshot output
"$program" --console >> "$output" 2> "$output.stderr" &
pid=$!
handled=0
for _ in $(seq 1 $((limit_s * 20))); do
  mapfile -t lines < "$output"
  while [ "$handled" -lt "${#lines[@]}" ]; do
    line=${lines[$handled]}
    handled=$((handled + 1))
    case "$line" in
      *"log: SNAPSHOT "*)
        shot "${line#*SNAPSHOT }" ;;
      *"log: SNAPSHOT"*)
        import -window root "$screenshot" && echo "screenshot: $screenshot" >> "$output.stderr" ;;
      *"log: PRESSKEYS"*)
        xdotool search --name "^Keys\$" windowfocus --sync key ctrl+n ctrl+o ctrl+p ctrl+a ;;
      *"log: ANSWERDIALOG "*)
        # The page's message box: a window of that title, answered with Enter.
        title=${line#*ANSWERDIALOG }
        sleep 0.5
        if box=$(xdotool search --name "^${title}\$" | tail -n 1) && [ -n "$box" ]; then
          echo "DIALOG-FOUND $title" >> "$output.titles"
          xdotool windowfocus --sync "$box" key Return
        else
          echo "DIALOG-MISSING $title" >> "$output.titles"
        fi ;;
      *"log: ACTION "*)
        bash -c "${line#*ACTION }" >> "$output.actions" 2>&1 ;;
      *"log: CHECKTITLE "*)
        title=${line#*CHECKTITLE }
        if xdotool search --name "^${title}\$" > /dev/null 2>&1; then
          echo "TITLE-FOUND $title" >> "$output.titles"
        else
          echo "TITLE-MISSING $title" >> "$output.titles"
        fi ;;
    esac
  done
  kill -0 "$pid" 2> /dev/null || break
  sleep 0.05
done
if kill -0 "$pid" 2> /dev/null; then
  kill "$pid"
  wait "$pid"
  status=124
else
  wait "$pid"
  status=$?
fi
# Daemons the setup started end with the session.
jobs -p | xargs -r kill 2> /dev/null
exit "$status"
