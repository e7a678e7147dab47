# Shared by scripts/test and scripts/demo. Sourced, not run.
set -euo pipefail
QL_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
QL_BUILD="${QL_BUILD:-$QL_ROOT/build}"
QL_JOBS="${QL_JOBS:-$(nproc)}"

# Debian packages the builds, tests and tools need.
QL_PACKAGES=(
  cmake ninja-build g++ clang-format pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64
  zlib1g-dev libfreetype-dev libfontconfig-dev libx11-dev libxext-dev fonts-liberation
  libsndfile1-dev libfftw3-dev libpng-dev libz-mingw-w64-dev
  xvfb x11-utils xdotool libxtst-dev
  librsvg2-bin
  clang libclang-rt-14-dev
)

# Real hosts for scripts/test-hosts, and the 32-bit emulation for scripts/test-win32emu: only
# those stages install them.
QL_HOSTS_PACKAGES=(ardour qtractor muse)
QL_WIN32EMU_PACKAGES=(debootstrap qemu-user-static)

ql_log() { printf '== %s\n' "$*" >&2; }

# Installs whatever of QL_PACKAGES is missing; does nothing when all are there.
ql_install_deps() {
  local missing=()
  for p in "${QL_PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if ((${#missing[@]})); then
    ql_log "installing ${missing[*]}"
    local sudo=""
    [ "$(id -u)" = 0 ] || sudo=sudo
    $sudo apt-get update -qq >/dev/null
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
      "${missing[@]}" >/dev/null
  fi
}

# ql_configure NAME [cmake args...]: configures build/NAME with Ninja (once).
ql_configure() {
  local name=$1
  shift
  cmake -S "$QL_ROOT" -B "$QL_BUILD/$name" -G Ninja -Wno-dev "$@" >/dev/null
}

# ql_build NAME [targets...]: builds quietly; on failure shows the errors.
ql_build() {
  local name=$1
  shift
  local log="$QL_BUILD/$name.build.log"
  if ! cmake --build "$QL_BUILD/$name" -j "$QL_JOBS" -- "$@" >"$log" 2>&1; then
    grep -E -A5 'error|FAILED' "$log" | head -n 100 >&2 || tail -n 40 "$log" >&2
    ql_log "build $name failed (full log: $log)"
    return 1
  fi
}

ql_linux() { ql_configure linux -DQL_BENCH=ON && ql_build linux; }
ql_win32() { ql_configure win32 -DCMAKE_TOOLCHAIN_FILE="$QL_ROOT/cmake/toolchain-mingw-i686.cmake" && ql_build win32; }
ql_win64() { ql_configure win64 -DCMAKE_TOOLCHAIN_FILE="$QL_ROOT/cmake/toolchain-mingw-x86_64.cmake" && ql_build win64; }
