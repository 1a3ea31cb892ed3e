#!/usr/bin/env bash
# Installs every Debian 12 package the project needs to build, test and run.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  libglib2.0-dev  # the message loop of GLib programs
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev  # libFuzzer targets
  clang-format clang-tidy  # the one formatting style, checked by CI; the checks in .clang-tidy
  nlohmann-json3-dev  # JSON of the nbrun command line and output
  libmp3lame-dev  # the encoder under internals/lame_enc.so
  lame mediainfo ffmpeg  # MP3 tests and benchmark: reference encoder, tag and stream checks
  libavformat-dev libavcodec-dev libswresample-dev libavutil-dev  # the transcoder's decoding
  libpng-dev  # the waveform pictures (EX_BuildWaveforms) and their tests reading them back
  ffmpeg sox  # audio tests and benchmarks: test media and reference timings
  faad espeak-ng  # heaac tests and benchmark: second decoder, speech clip
  atomicparsley  # 3GP ringtone tests: a third reader of the boxes
  libpulse-dev  # wave playback on the sound server (PulseAudio, or PipeWire's)
  pulseaudio pulseaudio-utils  # playback tests and benchmark: a private server, pacat, paplay
  php-cgi  # the CGI interpreter internals/nimbra runs
  binutils-mingw-w64-x86-64  # resource libraries built by the local server's tests
  binutils-mingw-w64-i686  # 32-bit resource libraries for the PE resource reader's tests
  libsqlite3-dev  # the registry store
  libcdio-dev libcdio-paranoia-dev  # platform/cdrip: CD drives, disc images and paranoia's ripping
  cd-paranoia  # CD benchmark: the reference ripper of the same image track
  libcurl4-openssl-dev  # URL requests, downloads and uploads
  curl openssl python3  # network tests and benchmark: reference transfers, an HTTPS server
  libwebkit2gtk-4.1-dev  # the shell's browser engine (WebKitGTK, GTK 3)
  xvfb xauth dbus dbus-x11  # the shell's tests and run.sh without a display
  imagemagick xdotool  # screenshots of the shell and window checks in its tests
  libnotify-dev  # the shell's notification-area balloons
  dunst trayer x11-utils python3-dbusmock  # tray tests: notification daemon, tray host, xwininfo, logind stand-in
  x11-utils libx11-dev  # dialog tests: xprop size hints, a window closed as a window manager asks
  libbluetooth-dev  # Bluetooth object push: the SDP lookup of Object Push and RFCOMM sockets
  openobex-apps  # Bluetooth tests and benchmark: obex_tcp, a real OBEX server over TCP
  libglib2.0-bin  # gdbus: the ringtone application's scripted runs set up their stand-in bluetoothd
  lintian  # scripts/package.sh: Debian's policy checks of the package it builds
)

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
"${as_root[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -q --no-install-recommends \
  "${packages[@]}"
