# Sourced by the end-to-end tests: the Wine prefix's files and registry as text, small
# waiting helpers, and the real setup.exe and uninst.exe driven with keys. Needs
# $WINEPREFIX and $work (a scratch folder of the test's); the key drivers also $here,
# $setup, $shots and $programs.
drive_c="$WINEPREFIX/drive_c"
target="$drive_c/Program Files/Frelby"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\FrelbyKey'

fail() { echo "$(basename "$0"): $*" >&2; exit 1; }

# The uninstall entry's values as NAME=VALUE lines, sorted (a DWORD as reg shows it, 0x1;
# reg writes the OEM code page, 437 in the tests' prefixes).
entry_values() {
  wine reg query "$uninstall_key" "$@" 2>/dev/null | iconv -f CP437 -t UTF-8 | tr -d '\r' | sed -n 's/^ *\([A-Za-z]*\) *REG_[A-Z_]* *\(.*\)$/\1=\2/p' | LC_ALL=C sort
}

programs_folder() {
  local value
  value=$(wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders' /v Programs 2>/dev/null |
          tr -d '\r' | sed -n 's/^ *Programs *REG_SZ *//p')
  winepath -u "$value" 2>/dev/null
}

# Files with their sizes, and the registry, as text. Left out are what Wine itself
# keeps there: HKLM\System (its display driver records each new X display) and its
# own keys under HKCU\Software\Wine and HKCU\Volatile Environment, and the settings
# key its explorer makes when it first opens a folder window (Program Manager's window
# of a group, on the old shell).
snapshot() {
  local key
  for key in HKLM HKCU; do
    local path=$key
    [ "$key" = HKLM ] && path='HKLM\Software'
    # Right after a prefix is made an export fails now and then: once more, then fail.
    wine reg export "$path" 'C:\windows\temp\snapshot.reg' /y >/dev/null 2>&1 ||
      { sleep 1; wine reg export "$path" 'C:\windows\temp\snapshot.reg' /y >/dev/null 2>&1; } ||
      fail "cannot export $path"
    iconv -f UTF-16 -t UTF-8 "$drive_c/windows/temp/snapshot.reg" |
      awk '/^\[/ { skip = /^\[HKEY_CURRENT_USER\\(Software\\Wine|Volatile Environment|Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced)/ } !skip' > "$work/$1.$key.reg"
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

# run EXPECTED PROGRAM ARGS...: runs a Win32 program unattended (at most 120 s: a message
# box nobody answers would hang it) and checks its exit status, and that no window of its
# own showed meanwhile: any window that was not there before counts, but for those of
# Wine's shell (explorer.exe: the folder windows its Program Manager opens for a group).
visible_windows() { xdotool search --onlyvisible --name '' 2>/dev/null | sort; }
run() {
  local expected=$1 status=0 before window class
  shift
  before=$(visible_windows)
  timeout 120 wine "$@" >/dev/null 2>&1 &
  local pid=$!
  while kill -0 "$pid" 2>/dev/null; do
    for window in $(comm -13 <(echo "$before") <(visible_windows)); do
      # One gone again already (a group window closing) waited for nobody.
      class=$(xprop -id "$window" WM_CLASS 2>/dev/null) || continue
      case $class in *'"explorer.exe"'*) continue ;; esac
      import -display "$DISPLAY" -window root "$shots/unexpected-window.png"
      fail "$* shows a window '$(xdotool getwindowname "$window" 2>/dev/null)'"
    done
    sleep 0.1
  done
  wait "$pid" || status=$?
  [ "$status" = "$expected" ] || fail "$*: exit status $status, expected $expected"
  echo "$(basename "$0"): $* -> $status"
}
# installed_files_ok FOLDER: the 38 entries and a finished log ("PN Frelby" last).
installed_files_ok() {
  local folder=$1 name
  [ "$(tail -n 1 "$folder/deinst.log" | tr -d '\r\n')" = "PN Frelby" ] || fail "the log in $folder does not end with PN Frelby"
  for name in frelby.exe uninst.exe liesmich.txt resource/hilfe.txt resource/musik4.mus; do
    [ -f "$folder/$name" ] || fail "$folder/$name is missing"
  done
  cmp -s "$folder/frelby.exe" "$(dirname "$setup")/demo/frelby.exe" || fail "frelby.exe differs from the build's"
  [ "$(find "$folder" -type f | wc -l)" = 39 ] || fail "$folder does not hold 38 entries and the log"
}

# links_ok LINK-FOLDER TARGET-FOLDER: the game's and the uninstaller's shortcuts (or the
# Program Manager group's two items), each naming its program in TARGET-FOLDER.
links_ok() {
  local name program
  for name in "Frelby:frelby.exe" "Frelby deinstallieren:uninst.exe"; do
    program="$2\\${name#*:}"
    [ -f "$1/${name%%:*}.lnk" ] || fail "no item '${name%%:*}' in $1"
    grep -aqF "$program" "$1/${name%%:*}.lnk" || fail "the item '${name%%:*}' does not name $program"
  done
}

window_shown() { xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1; }
# wait_until COMMAND...: 0 once COMMAND succeeds, within 120 s by the clock; else says
# what there was to see (show_what_was_there) and returns 1.
wait_until() {
  local end=$((SECONDS + 120))
  while [ "$SECONDS" -lt "$end" ]; do "$@" && return 0; sleep 0.1; done
  "$@" && return 0
  show_what_was_there "waited 120 s in vain for: $*"
  return 1
}
# show_what_was_there WHY: for a wait that failed, on standard error: the windows on the
# display with their titles and classes (shown or not), Wine's own list of windows, the
# prefix's processes, and a screenshot beside the test's others ($shots, else $work).
show_what_was_there() {
  local shown proc pids="" shot="${shots:-${work:-/tmp}}/failed-wait-$(date +%H%M%S).png"
  shown=" $(xdotool search --onlyvisible --name '' 2>/dev/null | tr '\n' ' ') "
  {
    echo "--- $(basename "$0"): $1"
    echo "--- top-level windows on $DISPLAY (id, title, class, geometry):"
    xwininfo -root -children 2>/dev/null | sed -n 's/^ *\(0x[0-9a-f]*\) \(.*\): (\(.*\))  *\([0-9x+-]*\) .*/\1 \2 (\3) \4/p' |
      while read -r id rest; do
        case $shown in *" $((id)) "*) echo "  shown   $id $rest" ;; *) echo "  hidden  $id $rest" ;; esac
      done
    echo "--- windows as Wine sees them:"
    timeout 60 winedbg --command "info wnd" 2>&1 | iconv -f CP1252 -t UTF-8 -c | sed 's/^/  /'
    echo "--- processes of $WINEPREFIX:"
    for proc in /proc/[0-9]*; do
      case $(readlink "$proc/exe" 2>/dev/null) in */wine*|*qemu-i386*) ;; *) continue ;; esac
      tr '\0' '\n' 2>/dev/null < "$proc/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX" && pids+="${proc#/proc/},"
    done
    [ -z "$pids" ] || ps -o pid,ppid,etimes,stat,args -p "${pids%,}" | sed 's/^/  /'
    import -display "$DISPLAY" -window root "$shot" 2>&1 && echo "--- screenshot: $shot"
  } >&2
}
not() { ! "$@"; }
# The uninstaller's copy in the temporary folder goes when it ends.
helper_gone() { ! ls "${helper_folder:-$drive_c/windows/temp}"/frb*.tmp >/dev/null 2>&1; }

# answer_box NAME KEY [COMMAND...]: the uninstaller's next box, shot as NAME.png, runs
# COMMAND, then makes the box the active window (a click: there is no window manager)
# and answers it with KEY. The next box may follow at once.
answer_box() {
  local name=$1 key=$2 box owner
  shift 2
  wait_until window_shown "Frelby deinstallieren" || fail "no box '$name' from the uninstaller"
  sleep 1
  import -display "$DISPLAY" -window root "$shots/$name.png"
  "${@:-true}"
  box=$(xdotool search --onlyvisible --name "^Frelby deinstallieren\$" | tail -n 1)
  owner=$(xdotool getwindowpid "$box" 2>/dev/null || true)
  xdotool windowraise "$box" mousemove --window "$box" 40 8 click 1 sleep 0.5 key "$key"
  wait_until box_gone "$box" "$owner" || fail "the box '$name' stays"
}

# box_gone WINDOW [PID]: the window is gone. The X server hands a closed program's window
# numbers to the next program that connects (the uninstaller's copy, whose box follows
# the original's question at once), so a number still shown counts as the box only
# while the process that showed it owns it.
box_gone() {
  if [ -n "${2:-}" ]; then [ "$(xdotool getwindowpid "$1" 2>/dev/null)" != "$2" ]
  else ! xdotool getwindowname "$1" >/dev/null 2>&1
  fi
}

# Answers the uninstaller's question with Enter (Ja), then its final message.
uninstall_with_keys() {
  answer_box "$1-question" Return
  answer_box "$1-done" Return
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
