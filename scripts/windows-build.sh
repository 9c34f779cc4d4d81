# The Windows cross build (MinGW-w64, the system's WinMM, no Qt), shared by its test stage and
# the packages; sourced after common.sh.

WINDOWS_COMPILER=x86_64-w64-mingw32-g++-posix

have_windows_tools() { command -v "$WINDOWS_COMPILER" >/dev/null && wine --version >/dev/null 2>&1; }

# windows_build FOLDER [cmake options...]: a Wine prefix inside FOLDER (exported as
# WINEPREFIX), then configure and build there.
windows_build() {
  local folder=$1
  shift
  # The same prefix the toolchain file gives the build's emulator.
  export WINEPREFIX=$PWD/$folder/wine
  export WINEDEBUG=-all
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$folder"
    wineboot -i >/dev/null 2>&1
    # No audio driver: WinMM then offers no MIDI devices, whatever the host has, and Wine
    # leaves the host's ALSA alone.
    wine reg add 'HKCU\Software\Wine\Drivers' /v Audio /t REG_SZ /d '' /f >/dev/null 2>&1
  fi
  # Generators run under Wine during the build, so the prefix comes first. -O2 as in the Linux
  # builds: at -O3 GCC 12 reports false array bounds inside the standard library. Configured
  # afresh every time (two seconds; nothing is rebuilt unless a flag changed): only a first
  # configure reads the toolchain file, so a folder configured before it changed keeps old
  # flags.
  cmake --fresh -S . -B "$folder" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" \
    -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DTARN_BUILD_QT=OFF "$@" >/dev/null
  cmake --build "$folder" -j "$JOBS"
}
