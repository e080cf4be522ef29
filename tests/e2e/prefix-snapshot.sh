# Sourced by the end-to-end tests: the Wine prefix's files and registry as text, small
# waiting helpers, and the real setup.exe and uninst.exe driven with keys. Needs
# $WINEPREFIX and $work (a scratch folder of the test's); the key drivers also $here,
# $setup, $shots and $programs.
drive_c="$WINEPREFIX/drive_c"
target="$drive_c/Program Files/Frelby"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\FrelbyKey'

fail() { echo "$(basename "$0"): $*" >&2; exit 1; }

programs_folder() {
  local value
  value=$(wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders' /v Programs 2>/dev/null |
          tr -d '\r' | sed -n 's/^ *Programs *REG_SZ *//p')
  winepath -u "$value" 2>/dev/null
}

# Files with their sizes, and the registry, as text. Left out are what Wine itself
# keeps there: HKLM\System (its display driver records each new X display) and its
# own keys under HKCU\Software\Wine and HKCU\Volatile Environment.
snapshot() {
  local key
  for key in HKLM HKCU; do
    local path=$key
    [ "$key" = HKLM ] && path='HKLM\Software'
    wine reg export "$path" 'C:\windows\temp\snapshot.reg' /y >/dev/null 2>&1 || fail "cannot export $path"
    iconv -f UTF-16 -t UTF-8 "$drive_c/windows/temp/snapshot.reg" |
      awk '/^\[/ { skip = /^\[HKEY_CURRENT_USER\\(Software\\Wine|Volatile Environment)/ } !skip' > "$work/$1.$key.reg"
    rm -f "$drive_c/windows/temp/snapshot.reg"
  done
  (cd "$drive_c" && find . -printf '%p %s\n' | LC_ALL=C sort) > "$work/$1.files"
}

# same_as_base NAME [BASE]: the snapshot NAME equals BASE (default "base").
same_as_base() {
  local kind base=${2:-base}
  for kind in files HKLM.reg HKCU.reg; do
    if ! diff -u "$work/$base.$kind" "$work/$1.$kind" > "$work/diff"; then
      cat "$work/diff" >&2
      fail "$1: the $kind differ from before the install"
    fi
  done
  echo "$(basename "$0"): $1 leaves no trace"
}

window_shown() { xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1; }
wait_until() {
  for _ in $(seq 300); do "$@" && return 0; sleep 0.1; done
  return 1
}
not() { ! "$@"; }
# The uninstaller's copy in the temporary folder goes when it ends.
helper_gone() { ! ls "$drive_c"/windows/temp/frb*.tmp >/dev/null 2>&1; }

# Answers the uninstaller's question with Enter (Ja), then its final message.
uninstall_with_keys() {
  local name=$1
  wait_until window_shown "Frelby deinstallieren" || fail "no question from the uninstaller"
  sleep 1
  import -display "$DISPLAY" -window root "$shots/$name-question.png"
  xdotool key Return
  wait_until not window_shown "Frelby deinstallieren" || fail "the question stays"
  wait_until window_shown "Frelby deinstallieren" || fail "no final message from the uninstaller"
  sleep 1
  import -display "$DISPLAY" -window root "$shots/$name-done.png"
  xdotool key Return
  wait_until not window_shown "Frelby deinstallieren" || fail "the final message stays"
  wait_until helper_gone || fail "the uninstaller's copy in the temporary folder stays"
}

install_with_keys() {
  "$here/drive-setup" "$setup" "$shots/$1" install | tee "$work/install.out"
  grep -q "exit status 1" "$work/install.out" || fail "setup did not run to its end"
  [ -f "$target/frelby.exe" ] && [ -f "$target/uninst.exe" ] && [ -f "$target/resource/hilfe.txt" ] ||
    fail "installed files are missing"
  [ "$(tail -n 1 "$target/deinst.log" | tr -d '\r\n')" = "PN Frelby" ] || fail "the log does not end with PN Frelby"
  wine reg query "$uninstall_key" /v UninstallString 2>/dev/null | tr -d '\r' |
    grep -q 'C:\\Program Files\\Frelby\\uninst.exe' || fail "no uninstall entry"
  [ -f "$programs/Frelby/Frelby.lnk" ] && [ -f "$programs/Frelby/Frelby deinstallieren.lnk" ] ||
    fail "Start-menu shortcuts are missing"
}
