# Sourced by the scripts: a display and the build's private Wine prefix.
# start_wine_session BUILD_DIR [own-display]: uses $DISPLAY unless it is unset, CI is
# true or own-display is given; then starts Xvfb (1024x768) and stops it on exit.
frelby_xvfb_pid=""
frelby_small_drive=""

# Drive T: is a 4 MB file system of its own, where tests meet a full disk and an exact
# amount of free space. Mounting needs root; without it the tests that need T: skip.
mount_small_drive() {
  local dir="$1/small-drive"
  mkdir -p "$dir"
  if mountpoint -q "$dir" || mount -t tmpfs -o size=4m frelby-small-drive "$dir" 2>/dev/null; then
    ln -sfn "$dir" "$WINEPREFIX/dosdevices/t:"
    frelby_small_drive=$dir
  else
    rm -f "$WINEPREFIX/dosdevices/t:"
    echo "No drive T: (cannot mount a small file system here); its tests will skip."
  fi
}

# Drive S: is a CD-ROM drive to Wine (a folder of the build): a drive of a type no
# target may lie on.
add_cd_drive() {
  mkdir -p "$1/cd-drive"
  ln -sfn "$1/cd-drive" "$WINEPREFIX/dosdevices/s:"
  wine reg add 'HKLM\Software\Wine\Drives' /v s: /d cdrom /f >/dev/null 2>&1 || true
  # Wine's mount manager reads the drive types when it starts.
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w
}

# The toolchain the tests' build takes: i686, as shipped, where this machine runs 32-bit
# programs; x86_64 where it cannot (a kernel without 32-bit support: Wine's 32-bit
# loader does not even start), so that the same sources are tested on a 64-bit Wine.
frelby_build_kind() {
  if /usr/lib/wine/wine --version >/dev/null 2>&1; then echo i686; else echo x86_64; fi
}

# configure_test_build ROOT: configures the build the tests and benchmarks run, for the
# kind above, and sets $build to it ($FRELBY_BUILD, else build/ or build-x86_64/).
configure_test_build() {
  local root=$1
  if [ "$(frelby_build_kind)" = i686 ]; then
    build=${FRELBY_BUILD:-$root/build}
    cmake -S "$root" -B "$build" -G Ninja >/dev/null
  else
    echo "This machine cannot run 32-bit programs: a 64-bit build runs on a 64-bit Wine."
    build=${FRELBY_BUILD:-$root/build-x86_64}
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" >/dev/null
  fi
}

start_wine_session() {
  local build=$1 own=${2:-}
  # winemenubuilder would mirror Start-menu shortcuts into the host's desktop menus.
  export WINEPREFIX="$build/wineprefix" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  # A 64-bit build (see frelby_build_kind) runs in a 64-bit prefix with Wine's 64-bit loader.
  if [ -d "$build/wine-bin" ]; then
    export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64 PATH="$build/wine-bin:$PATH"
  fi
  if [ -z "${DISPLAY:-}" ] || [ "${CI:-}" = true ] || [ -n "$own" ]; then
    local n=87
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    frelby_xvfb_pid=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
  fi
  trap stop_wine_session EXIT
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the Wine prefix $WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
  fi
  wineserver -w
  if [ -n "$own" ]; then mount_small_drive "$build"; add_cd_drive "$build"; fi
  wineserver -p >/dev/null 2>&1 || true
  # On Xvfb no window manager answers: Wine would wait two seconds for one each time a
  # window closes. Its windows are left unmanaged there, and managed on a real desktop.
  if [ -n "$frelby_xvfb_pid" ]; then
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
  else
    wine reg delete 'HKCU\Software\Wine\X11 Driver' /v Managed /f >/dev/null 2>&1 || true
  fi
  # Wine's own services start with the first program and keep its output open: start
  # them here, so that the test runner sees each test program's output end with it.
  wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
}

# start_fresh_prefix PREFIX ARCH VERSION: a new Wine prefix (ARCH win32 or win64) for one
# test, on the session's display, whose Windows version (Wine's "Version" setting) is
# VERSION: win31, win98, nt40, win10, ... Whatever was at PREFIX goes first. The test
# ends it with stop_fresh_prefix. Bounded: a prefix that is not made in time fails.
start_fresh_prefix() {
  export WINEPREFIX=$1 WINEARCH=$2 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  # A prefix an earlier run left (it was stopped from outside) goes with its programs.
  if [ -d "$WINEPREFIX" ]; then timeout 30 wineserver -k >/dev/null 2>&1 || true; fi
  rm -rf "$WINEPREFIX"
  mkdir -p "$(dirname "$WINEPREFIX")"
  timeout 300 wineboot -i >/dev/null 2>&1 && timeout 120 wineserver -w || return 1
  [ -f "$WINEPREFIX/system.reg" ] || return 1
  wine reg add 'HKCU\Software\Wine' /v Version /d "$3" /f >/dev/null 2>&1 || return 1
  # Its windows are left unmanaged, as on the session's Xvfb.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
}

# Ends every program of the prefix (the test's own) and its server, then removes it.
stop_fresh_prefix() {
  timeout 30 wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
}

stop_wine_session() {
  wineserver -k >/dev/null 2>&1 || true
  if [ -n "$frelby_small_drive" ]; then
    rm -f "$WINEPREFIX/dosdevices/t:" "$WINEPREFIX/dosdevices/s:"
    umount "$frelby_small_drive" 2>/dev/null || true
  fi
  frelby_small_drive=""
  if [ -n "$frelby_xvfb_pid" ]; then kill "$frelby_xvfb_pid" 2>/dev/null || true; wait "$frelby_xvfb_pid" 2>/dev/null || true; fi
  frelby_xvfb_pid=""
}
