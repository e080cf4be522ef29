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

# The shipped programs are 32-bit (i686). Where the kernel runs no 32-bit program, Wine's
# 32-bit loader runs under qemu-user, registered for i386 programs in a binfmt_misc
# instance of the test run's own user and mount namespace (Linux 6.7 and later), so that
# nothing outside the run changes.
frelby_i386_rule=':frelby-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:FOC'

# 0 when i386 programs go to an emulator here: a binfmt_misc rule for their ELF header is
# enabled (the machine's own, or the one this run registered).
i386_emulated_here() {
  local rule
  for rule in /proc/sys/fs/binfmt_misc/*; do
    grep -qx 'magic 7f454c4601010100000000000000000002000300' "$rule" 2>/dev/null && grep -qx enabled "$rule" && return 0
  done
  return 1
}

# run_emulated COMMAND...: runs COMMAND in a user and mount namespace of its own where
# i386 programs run under qemu-i386.
run_emulated() {
  unshare --user --map-root-user --mount bash -c '
    mount -t binfmt_misc frelby-binfmt /proc/sys/fs/binfmt_misc &&
      printf "%s" "$0" > /proc/sys/fs/binfmt_misc/register && exec "$@"' "$frelby_i386_rule" "$@"
}

# How the shipped i686 programs run here: "native" (the kernel runs 32-bit programs),
# "emulated" (qemu-user: the machine's own rule, or one private to the run), or "none"
# (neither: the tests fall back to a 64-bit build on a 64-bit Wine). FRELBY_EMULATE=1
# takes the emulation even where 32-bit programs run natively.
frelby_build_kind() {
  if i386_emulated_here; then echo emulated
  elif [ "${FRELBY_EMULATE:-}" != 1 ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then echo native
  elif [ -x /usr/bin/qemu-i386 ] && run_emulated /usr/lib/wine/wine --version >/dev/null 2>&1; then echo emulated
  else echo none
  fi
}

# enter_build_kind SCRIPT ARGS...: says which build the tests take, and runs SCRIPT again
# inside the emulation when the i686 programs need one that is not in force yet.
enter_build_kind() {
  local kind
  kind=$(frelby_build_kind)
  case $kind in
    native) echo "Build: i686, the shipped programs, on 32-bit Wine (native)." ;;
    emulated)
      if ! i386_emulated_here; then run_emulated bash "$@"; exit; fi
      echo "Build: i686, the shipped programs, on 32-bit Wine under qemu-user (emulated)." ;;
    *) echo "Build: x86_64 on 64-bit Wine: this machine runs no 32-bit program, natively or emulated." ;;
  esac
}

# configure_test_build ROOT: configures the build the tests and benchmarks run, for the
# kind above, and sets $build to it ($FRELBY_BUILD, else build/ or build-x86_64/).
configure_test_build() {
  local root=$1
  if [ "$(frelby_build_kind)" != none ]; then
    build=${FRELBY_BUILD:-$root/build}
    cmake -S "$root" -B "$build" -G Ninja >/dev/null
  else
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
    local n=86
    # A session that starts at the same moment may take the same free number; the display
    # is this session's only when its lock file names this Xvfb.
    while n=$((n + 1)); do
      [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
      Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
      frelby_xvfb_pid=$!
      for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
      [ "$(tr -d ' \n' 2>/dev/null < "/tmp/.X$n-lock")" = "$frelby_xvfb_pid" ] && break
      kill "$frelby_xvfb_pid" 2>/dev/null || true; wait "$frelby_xvfb_pid" 2>/dev/null || true
    done
    export DISPLAY=":$n"
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
  hold_desktop
}

# Wine closes a desktop a second after the last program on it has ended, and with it the
# process that shows it (explorer.exe /desktop); the next program starts a new one. A
# program that starts while the old one is still ending gets no display driver and can
# make no window: setup.exe then ends at once with status 0, its backdrop never shown.
# Emulated on a busy machine that ending takes seconds. So from its start to its end a
# session holds its desktop with a program that shows nothing: cmd.exe, waiting for a
# line that never comes on a pipe only this shell could write to. The desktop's process
# is started here too, with no output: started by a test's program it would keep that
# test's output open to the session's end. Ending the prefix's programs (wineserver -k)
# ends both.
hold_desktop() {
  local window pid desktop=""
  coproc frelby_desktop_holder { wine cmd.exe >/dev/null 2>&1; }
  # Up once it has made its windows (the tray's, hidden): those of a process of this prefix.
  # One that ended without (it found no display driver) is started again.
  for _ in $(seq 600); do
    for window in $(xdotool search --class '^explorer\.exe$' 2>/dev/null); do
      pid=$(xdotool getwindowpid "$window" 2>/dev/null) &&
        tr '\0' '\n' 2>/dev/null < "/proc/$pid/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX" && return 0
    done
    [ -n "$desktop" ] && kill -0 "$desktop" 2>/dev/null ||
      { wine explorer.exe /desktop </dev/null >/dev/null 2>&1 & desktop=$!; }
    sleep 0.2
  done
  echo "Wine's desktop did not start" >&2
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
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || return 1
  hold_desktop
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
