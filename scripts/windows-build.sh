# The Windows cross build (MinGW-w64, the system's WinMM, no Qt), shared by its test stage and
# the packages; sourced after common.sh, and after WINDOWS_FOLDER is set where it is not
# build/windows.

WINDOWS_COMPILER=x86_64-w64-mingw32-g++-posix

have_windows_tools() { command -v "$WINDOWS_COMPILER" >/dev/null && wine --version >/dev/null 2>&1; }

source scripts/wine-session.sh

# windows_build [cmake options...]: the prefix, then configure and build in WINDOWS_FOLDER.
windows_build() {
  wine_prefix
  windows_configure "$@"
  cmake --build "$WINDOWS_FOLDER" -j "$JOBS"
}
