# Sourced by the Windows stage and the screenshots: the build folder's own Wine prefix and an
# X display of our own (Xvfb) for the windows the programs open. Ends both with the script.

WINDOWS_FOLDER=${WINDOWS_FOLDER:-build/windows}
export WINEPREFIX=$PWD/$WINDOWS_FOLDER/wine
export WINEDEBUG=-all

wine_session_end() {
  wineserver -k 2>/dev/null || true
  if [ -n "${XVFB_PID:-}" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
  fi
}
trap wine_session_end EXIT

# A fresh prefix: no audio driver, so WinMM offers no MIDI devices whatever the host has and
# Wine leaves the host's ALSA alone; Wine draws the windows' frames itself, as Xvfb has no
# window manager to draw them.
wine_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINDOWS_FOLDER"
    wineboot -i >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Drivers' /v Audio /t REG_SZ /d '' /f >/dev/null 2>&1
  fi
  # Also for a prefix made before the dialog had tests.
  grep -q '"Decorated"="N"' "$WINEPREFIX/user.reg" 2>/dev/null ||
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
}

# Starts Xvfb on the first free display number from 90 and exports DISPLAY.
wine_display() {
  local number
  for number in $(seq 90 130); do
    [ -e "/tmp/.X11-unix/X$number" ] || [ -e "/tmp/.X$number-lock" ] && continue
    Xvfb ":$number" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    local tries
    for tries in $(seq 50); do
      [ -e "/tmp/.X11-unix/X$number" ] && break
      sleep 0.1
    done
    if kill -0 "$XVFB_PID" 2>/dev/null && [ -e "/tmp/.X11-unix/X$number" ]; then
      export DISPLAY=":$number"
      return 0
    fi
    XVFB_PID=
  done
  echo "no X display could be started (Xvfb)" >&2
  return 1
}

# Generators run under Wine during the build, so the prefix comes first. -O2 as in the Linux
# builds: at -O3 GCC 12 reports false array bounds inside the standard library. Configured
# afresh every time (two seconds; nothing is rebuilt unless a flag changed): only a first
# configure reads the toolchain file, so a folder configured before it changed keeps old flags.
# windows_configure [cmake options...]
windows_configure() {
  cmake --fresh -S . -B "$WINDOWS_FOLDER" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
    -DTARN_BUILD_QT=OFF "$@" >/dev/null
}
