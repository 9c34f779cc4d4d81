# Shared by ./run and the scripts it calls: packages, build folders, configure-and-build.

# What every build needs.
BUILD_PACKAGES=(cmake ninja-build g++ pkg-config googletest libgtest-dev libgmock-dev
  libbenchmark-dev qt6-base-dev libasound2-dev libjack-jackd2-dev libcli11-dev
  nlohmann-json3-dev help2man libsystemd-dev)
# What the test suite needs beyond the build: a JACK server, clang for the fuzz targets, a
# private bus with a mock logind for the inhibitor.
TEST_PACKAGES=(jackd2 clang libclang-rt-14-dev python3-dbusmock dbus-daemon)
DEMO_PACKAGES=(jackd2)
# CPack's Debian package: dpkg-shlibdeps for its dependencies, file to find the programs; the
# zip is checked with unzip.
PACKAGE_PACKAGES=(dpkg-dev file unzip)
# The checks of the packages: their linters and the manual page reader.
PACKAGE_CHECK_PACKAGES=(lintian desktop-file-utils appstream man-db)
# The VM test of the ALSA backend: an emulator, a root file system's tools, ALSA's own tools.
VM_PACKAGES=(qemu-system-x86 busybox-static alsa-utils libasound2-dev cpio)
# The Windows cross build, Wine to run its tests (64-bit only) and a display for its windows.
WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev wine wine64 xvfb)

log() { printf '\n=== %s\n' "$*"; }

# Installs the Debian packages that are missing; nothing is touched when all are present.
ensure_packages() {
  local missing=()
  local package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  log "installing ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${missing[@]}"
}

JOBS=${JOBS:-$(nproc)}

# configure_and_build FOLDER [cmake options...]: one build folder per configuration.
configure_and_build() {
  local folder=$1
  shift
  cmake -S . -B "$folder" -G Ninja "$@" >/dev/null
  cmake --build "$folder" -j "$JOBS"
}
