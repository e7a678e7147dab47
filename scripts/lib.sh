# Shared by scripts/test and scripts/demo. Sourced, not run.
set -euo pipefail
QL_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
QL_BUILD="${QL_BUILD:-$QL_ROOT/build}"
QL_JOBS="${QL_JOBS:-$(nproc)}"

# Debian packages, by what needs them. The Linux build (with its tests and benchmarks compiled)
# and the demo need only the first list.
QL_LINUX_PACKAGES=(
  cmake ninja-build g++ pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  zlib1g-dev libfreetype-dev libfontconfig-dev libx11-dev libxext-dev libxtst-dev fonts-liberation
  libsndfile1-dev libfftw3-dev libpng-dev lv2-dev liblilv-dev
)
# The Windows cross builds, and the Debian package's dependency lookup: scripts/package.
QL_PACKAGING_PACKAGES=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 libz-mingw-w64-dev dpkg-dev)
# What scripts/test needs beyond those: wine, the X server and its tools, the LV2 hosts and
# validators, clang for the fuzzer (its runtime package follows the installed clang:
# ql_clang_runtime_package), the format checker, the picture tools and unzip.
QL_TEST_PACKAGES=(
  "${QL_PACKAGING_PACKAGES[@]}" wine wine64
  xvfb x11-utils xdotool
  lilv-utils sordi jalv jackd2 jack-tools
  clang clang-format librsvg2-bin unzip file
)

# Real hosts for scripts/test-hosts, and the 32-bit emulation for scripts/test-win32emu: only
# those stages install them.
QL_HOSTS_PACKAGES=(ardour qtractor muse)
QL_WIN32EMU_PACKAGES=(debootstrap qemu-user-static)

ql_log() { printf '== %s\n' "$*" >&2; }

# ql_install_deps PACKAGE...: installs whatever of the named packages is missing; does nothing
# when all are there.
ql_install_deps() {
  local missing=()
  for p in "$@"; do
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

# The sanitizer and fuzzer runtime that goes with the installed clang (libclang-rt-N-dev).
ql_clang_runtime_package() {
  echo "libclang-rt-$(clang -dumpversion | cut -d. -f1)-dev"
}

# Commands run when the script exits, however it exits: ql_on_exit CMD adds one.
QL_EXIT_HOOKS=()
ql_run_exit_hooks() {
  local hook
  for hook in "${QL_EXIT_HOOKS[@]}"; do eval "$hook" || true; done
}
ql_on_exit() {
  QL_EXIT_HOOKS+=("$1")
  trap ql_run_exit_hooks EXIT
}

# ql_display LOG [own]: makes sure there is an X display. When DISPLAY is unset (or with "own"),
# starts Xvfb on a free display of its own, kept from resetting between its clients, and exports
# DISPLAY; ql_display_stop, or the script's exit, stops it and restores DISPLAY.
QL_XVFB_PID=""
QL_DISPLAY_BEFORE=""
ql_display() {
  local log=$1 own=${2:-}
  [ -n "$QL_XVFB_PID" ] && return 0
  [ -n "${DISPLAY:-}" ] && [ -z "$own" ] && return 0
  local n=70
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp -noreset >"$log" 2>&1 &
  QL_XVFB_PID=$!
  QL_DISPLAY_BEFORE=${DISPLAY:-}
  ql_on_exit ql_display_stop
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  export DISPLAY=":$n"
}
ql_display_stop() {
  [ -n "$QL_XVFB_PID" ] || return 0
  kill "$QL_XVFB_PID" 2>/dev/null || true
  wait "$QL_XVFB_PID" 2>/dev/null || true
  QL_XVFB_PID=""
  if [ -n "$QL_DISPLAY_BEFORE" ]; then export DISPLAY=$QL_DISPLAY_BEFORE; else unset DISPLAY; fi
}

# ql_has_target BUILD TARGET: whether the configured build declares TARGET.
ql_has_target() {
  cmake --build "$QL_BUILD/$1" --target help 2>/dev/null | grep -q -E "^$2: "
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
