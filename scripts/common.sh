# Shared by the scripts: the Debian packages each build needs, and the builds themselves.
# Sourced with the repository's root as the working folder.

LINUX_PACKAGES="cmake ninja-build g++ libgtest-dev nlohmann-json3-dev libxxhash-dev"
WINDOWS_PACKAGES="g++-mingw-w64-x86-64 mingw-w64-tools wine64 googletest"

# Installs the packages named in $@ that are missing (as root), or says how to.
need_packages() {
  missing=""
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
      missing="$missing $package"
  done
  [ -z "$missing" ] && return 0
  if [ "$(id -u)" = 0 ]; then
    echo "Installing:$missing"
    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing >/dev/null
  else
    echo "Missing Debian packages. Install them with:" >&2
    echo "  sudo apt-get install -y$missing" >&2
    exit 1
  fi
}

# Builds the Linux programs and tests into build/.
build_linux() {
  need_packages $LINUX_PACKAGES
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build
}

# Builds the Linux programs and tests again into build-sanitize/, with AddressSanitizer and
# UndefinedBehaviorSanitizer: any finding fails the test that meets it.
build_sanitized() {
  need_packages $LINUX_PACKAGES
  # -O1 with line tables only: quick to compile, and findings still name file and line.
  cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE= \
    -DCMAKE_CXX_FLAGS="-O1 -g1 -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer" \
    >/dev/null
  cmake --build build-sanitize
}

# Cross-builds the Windows programs and tests into build-windows/ (after build_linux, whose
# programs the Windows tests compare with and whose player-library makes libraries).
build_windows() {
  need_packages $LINUX_PACKAGES $WINDOWS_PACKAGES
  cmake -S . -B build-windows -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DLINUX_BUILD_DIR="$PWD/build" >/dev/null
  cmake --build build-windows
}
