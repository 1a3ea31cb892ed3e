# What the application's scripted runs share, sourced with app and out set:
# a private sound server, a stand-in Bluetooth daemon and an OBEX server,
# the program started with its console captured, screenshots, waits for
# console lines and clicks on the controls the page reports the places of.

# Without a GPU (Xvfb) WebKit's DMA-BUF renderer paints nothing.
export WEBKIT_DISABLE_DMABUF_RENDERER=1
mkdir -p "$out"
log="$out/console.txt"
work=$(mktemp -d)
phone="$work/phone"
obex_port=650
daemons=()
pid=

cleanup() {
  [ -n "$pid" ] && kill "$pid" 2> /dev/null
  for daemon in "${daemons[@]}"; do kill "$daemon" 2> /dev/null; done
  wait 2> /dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# A sound server with a silent output, so a preview plays here too.
start_sound() {
  command -v pulseaudio > /dev/null || return 0
  export PULSE_RUNTIME_PATH="$work/pulse" PULSE_STATE_PATH="$work/pulse" XDG_RUNTIME_DIR="$work"
  mkdir -p "$PULSE_RUNTIME_PATH"
  pulseaudio --daemonize=no --exit-idle-time=-1 --disable-shm -n \
    --load="module-null-sink sink_name=silent" --load="module-native-protocol-unix" \
    > "$work/pulse.log" 2>&1 &
  daemons+=($!)
  sleep 1
  # A null sink left alone renders in 2-second blocks, and a stream that
  # connects waits for the current block to end, where a sound card starts at
  # once. A stream of silence at 10 ms holds the null sink at a card's pace.
  pacat --raw --format=s16le --rate=44100 --channels=2 --latency-msec=10 < /dev/zero &
  daemons+=($!)
}

# There is no radio here: bluetoothd is played by python3-dbusmock's bluez5
# template on a system bus of our own, with one adapter and the phones given
# as "address=name" arguments, so the search the page makes is a real one.
start_bluetooth() {
  local bus="unix:path=$work/system_bus"
  dbus-daemon --config-file=/usr/share/dbus-1/session.conf --address="$bus" --nofork --nopidfile \
    > "$work/system-bus.log" 2>&1 &
  daemons+=($!)
  for _ in $(seq 1 50); do [ -S "$work/system_bus" ] && break; sleep 0.1; done
  export DBUS_SYSTEM_BUS_ADDRESS=$bus
  /usr/bin/python3 -m dbusmock --system --template bluez5 > "$work/bluez.log" 2>&1 &
  daemons+=($!)
  for _ in $(seq 1 50); do
    gdbus introspect --system --dest org.bluez --object-path / > /dev/null 2>&1 && break
    sleep 0.1
  done
  gdbus call --system --dest org.bluez --object-path / \
    --method org.bluez.Mock.AddAdapter hci0 "This computer" > /dev/null
  local phone_entry
  for phone_entry in "$@"; do
    gdbus call --system --dest org.bluez --object-path / \
      --method org.bluez.Mock.AddDevice hci0 "${phone_entry%%=*}" "${phone_entry#*=}" > /dev/null
  done
}

# An OBEX server that receives what is pushed to it into $phone. obex_tcp
# gives up when no one connects for a while, so it starts just before a push.
start_phone() {
  command -v obex_tcp > /dev/null || return 1
  # obex_tcp cannot bind its port while an earlier connection to it lingers.
  for _ in $(seq 1 120); do ss -tan | grep -q ":$obex_port " || break; sleep 0.5; done
  mkdir -p "$phone"
  (cd "$phone" && exec obex_tcp > "$out/obex-server.log" 2>&1) &
  daemons+=($!)
  for _ in $(seq 1 50); do ss -ltn | grep -q ":$obex_port " && return 0; sleep 0.1; done
  return 1
}

shot() { import -window root "$out/$1.png" && echo "  screenshot: $out/$1.png"; }

mark=0
mark_now() { mark=$(wc -l < "$log"); }
# A console line written since the last mark, for at most $2 seconds.
wait_for() {
  for _ in $(seq 1 $((${2:-30} * 10))); do
    tail -n +$((mark + 1)) "$log" | grep -q "$1" && return 0
    kill -0 "$pid" 2> /dev/null || return 1
    sleep 0.1
  done
  return 1
}

# NB_LAUNCHER, when set, starts the application instead of $app/NbBrowser
# (an installed launcher on PATH).
start_app() {
  mark=0
  "${NB_LAUNCHER:-$app/NbBrowser}" --console > "$log" 2>&1 &
  pid=$!
  wait_for "log: ready" 30 || { cat "$log"; exit 1; }
  sleep 1
  window=$(xdotool search --sync --name "^Nimbra Ringtones\$" | head -n 1)
  echo "  window class: $(xprop -id "$window" WM_CLASS | sed 's/^[^=]*= //')"
  eval "$(xdotool getwindowgeometry --shell "$window")"  # X, Y: the page's corner
}

# The place of a control as the page last reported it: left top width height.
layout() { grep "log: layout $1 " "$log" | tail -n 1 | sed 's/.*layout [^ ]* //'; }

# Clicks the middle of a reported control.
click_control() {
  local left top width height
  read -r left top width height <<< "$(layout "$1")"
  xdotool mousemove $((X + left + width / 2)) $((Y + top + height / 2)) click 1
}

# Opens a file through the application's open dialog.
open_song() {
  mark_now
  xdotool windowfocus --sync "$window" key ctrl+o
  xdotool search --sync --name "^Open a song\$" > /dev/null
  sleep 1
  [ -n "${1:-}" ] && shot "$1"
  xdotool key ctrl+l sleep 0.3 type --delay 5 "$song"
  xdotool sleep 0.3 key Return
}

# Saves the ringtone at a path typed into the save dialog.
save_ringtone() {
  mark_now
  xdotool windowfocus --sync "$window" key ctrl+s
  xdotool search --sync --name "^Save the ringtone\$" > /dev/null
  sleep 1
  [ -n "${2:-}" ] && shot "$2"
  xdotool key ctrl+a sleep 0.2 type --delay 5 "$1"
  xdotool sleep 0.3 key Return
}
