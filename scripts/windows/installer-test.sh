#!/usr/bin/env bash
# Tests the Windows installer (vantrel-<version>-setup.exe, built by
# scripts/windows/installer.sh) under Wine, in a fresh Wine prefix of its
# own; exits non-zero with "installer test: ..." on the first failure:
#
#   1. a bad command line installs nothing and says what is wrong;
#   2. for all users (/S /AllUsers), then again over it with /AddToPath: the
#      installed files are exactly the release archive's (and no test
#      fixture such as cfgmgr32.dll), vantrel-cli.exe --version prints the
#      version, the Start menu entries point at the installed programs, the
#      uninstall key in HKLM holds what Add/Remove Programs shows, the
#      folder is on the system PATH and vantrel-cli runs by its bare name;
#      then Uninstall.exe /S leaves nothing of the program (folder, entries,
#      key, PATH entry) and the system PATH as it was;
#   3. for the current user (/S /CurrentUser /AddToPath): the same in
#      %LOCALAPPDATA%\Programs, HKCU and the user's PATH; an operator's .dat
#      saved in the program's folder keeps that folder, alone, after the
#      uninstall;
#   4. a PATH too long for the installer to edit whole is left exactly as it
#      was, by install and uninstall, which end with exit code 3; the
#      folder /D= names is the one used.
#
# Throughout, the MAC allocation file (C:\DravonSetMACAddress\
# SetFullMACAddress.txt) and a .dat in the user's Documents must stay as
# they were.
#
# Usage: scripts/windows/installer-test.sh [BUILD-DIR]   (default: build/windows)
# BUILD-DIR holds vantrel-<version>-setup.exe and the archive
# vantrel-<version>-windows-x64.zip; the work files go to
# BUILD-DIR/installer-test. Wine's output goes to files there, never into a
# pipe (a Wine process that keeps a pipe open hangs the reader).
set -euo pipefail
here="$(cd "$(dirname "$0")/../.." && pwd)"
build="$(cd "${1:-$here/build/windows}" && pwd)"

fail() { echo "installer test: $*" >&2; exit 1; }

shopt -s nullglob
setups=("$build"/vantrel-*-setup.exe)
shopt -u nullglob
[ "${#setups[@]}" -eq 1 ] || fail "expected one vantrel-<version>-setup.exe in $build, found ${#setups[@]}"
setup="${setups[0]}"
version="$(basename "$setup")"; version="${version#vantrel-}"; version="${version%-setup.exe}"
archive="$build/vantrel-$version-windows-x64.zip"
[ -f "$archive" ] || fail "no $archive beside $setup"

work="$build/installer-test"
rm -rf "$work"
mkdir -p "$work/home"
# A fresh prefix, quiet; no Mono or Gecko installers, and no menu entries
# for the Linux desktop from the shortcuts (winemenubuilder). HOME points
# into the work folder so Wine links no folder of the real home into it.
export WINEPREFIX="$work/wine-prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d"
export HOME="$work/home"
unset DISPLAY
echo "== installer test: a fresh Wine prefix ($WINEPREFIX)"
wineboot --init >"$work/wineboot.log" 2>&1 || { cat "$work/wineboot.log"; fail "wineboot --init failed"; }
wineserver -w
trap 'wineserver -k 2>/dev/null || true' EXIT

drive_c="$WINEPREFIX/drive_c"
users=()
for d in "$drive_c"/users/*; do [ "$(basename "$d")" = Public ] || users+=("$d"); done
[ "${#users[@]}" -eq 1 ] || fail "expected one user folder in $drive_c/users, found ${#users[@]}"
profile="${users[0]}"
wine_user="$(basename "$profile")"

# Runs a Windows program, its output in the file $1; its exit code in $code.
run() {
  local log="$1"; shift
  set +e
  wine "$@" >"$log" 2>&1
  code=$?
  set -e
}
# A registry value as reg.exe prints it, or nothing (and status 1).
reg_value() {
  local key="$1" name="$2" log="$work/reg.txt"
  run "$log" reg query "$key" /v "$name"
  [ "$code" -eq 0 ] || return 1
  tr -d '\r' <"$log" | sed -n "s/^ *$name *REG_[A-Z_]* *//p"
}
key_exists() { run "$work/reg.txt" reg query "$1"; [ "$code" -eq 0 ]; }

uninstall_key='Software\Microsoft\Windows\CurrentVersion\Uninstall\Vantrel'
system_env='HKLM\System\CurrentControlSet\Control\Session Manager\Environment'
user_env='HKCU\Environment'

# What must outlive every uninstall: the MAC allocation file at its fixed
# place and an operator's .dat in Documents.
mac_file="$drive_c/DravonSetMACAddress/SetFullMACAddress.txt"
mkdir -p "$(dirname "$mac_file")"
printf '00\r\n04\r\nA3\r\n1B\r\n00\r\n2F\r\n' >"$mac_file"
cp "$mac_file" "$work/mac-before.txt"
documents="$profile/Documents"
mkdir -p "$documents"
user_dat="$documents/pump-station.dat"
cp "$here/tests/fuzz/corpus/datafile/sample.dat" "$user_dat"
cp "$user_dat" "$work/dat-before.dat"
operator_files_intact() {
  cmp -s "$mac_file" "$work/mac-before.txt" || fail "$1: the MAC allocation file $mac_file was changed or removed"
  cmp -s "$user_dat" "$work/dat-before.dat" || fail "$1: the operator's $user_dat was changed or removed"
}

# The archive's files (relative to its top folder): what an installation
# must hold, with the uninstaller.
unzip -Z1 "$archive" | grep -v '/$' | sed 's|^[^/]*/||' | { cat; echo Uninstall.exe; } | LC_ALL=C sort >"$work/expected-files.txt"
# Their size in KiB, which Add/Remove Programs shows.
size_kb="$(unzip -l "$archive" | tail -n 1 | awk '{print int(($1 + 1023) / 1024)}')"

# The path string of a shortcut's target, in the .lnk as narrow text or
# UTF-16 (Wine writes both, the link info and the strings): with the zero
# bytes dropped either reads as plain text.
lnk_points_at() {
  tr -d '\000' <"$1" | grep -aqiF -- "$2"
}

# Checks an installation: $1 the mode's name, $2 its folder (Windows),
# $3 the same on drive_c, $4 the Start menu folder on drive_c, $5 the
# registry root of its key, $6 the other root (must not hold the key).
check_installed() {
  local mode="$1" dir_win="$2" dir="$3" menu="$4" root="$5" other="$6"
  [ -d "$dir" ] || fail "$mode: no folder $dir"
  (cd "$dir" && find . -type f | sed 's|^\./||' | LC_ALL=C sort) >"$work/installed-files.txt"
  diff -u "$work/expected-files.txt" "$work/installed-files.txt" >"$work/files.diff" \
    || { cat "$work/files.diff" >&2; fail "$mode: the installed files are not the archive's (- archive, + installed)"; }
  [ -z "$(find "$dir" -iname cfgmgr32.dll)" ] || fail "$mode: cfgmgr32.dll was installed: a test fixture, never part of the program (Windows brings its own)"

  run "$work/version.txt" "$dir_win\\vantrel-cli.exe" --version
  [ "$code" -eq 0 ] || { cat "$work/version.txt"; fail "$mode: the installed vantrel-cli.exe --version exited $code"; }
  grep -qx "vantrel-cli $version" <(tr -d '\r' <"$work/version.txt") \
    || { cat "$work/version.txt"; fail "$mode: the installed vantrel-cli.exe --version did not print \"vantrel-cli $version\""; }

  local entry target
  for entry in "Vantrel:vantrel.exe" "Vantrel demo:vantrel-demo.exe" "Vantrel help:vantrel.chm"; do
    target="$dir_win\\${entry#*:}"
    [ -f "$menu/${entry%%:*}.lnk" ] || fail "$mode: no Start menu entry $menu/${entry%%:*}.lnk"
    lnk_points_at "$menu/${entry%%:*}.lnk" "$target" || fail "$mode: the Start menu entry ${entry%%:*} does not point at $target"
  done

  local name want got
  for name in DisplayName DisplayVersion Publisher InstallLocation UninstallString QuietUninstallString DisplayIcon EstimatedSize; do
    got="$(reg_value "$root\\$uninstall_key" "$name")" || fail "$mode: $root\\$uninstall_key has no value $name"
    case "$name" in
      DisplayName) want="Vantrel" ;;
      DisplayVersion) want="$version" ;;
      Publisher) want="QUORVEX" ;;
      InstallLocation) want="$dir_win" ;;
      UninstallString) want="\"$dir_win\\Uninstall.exe\"" ;;
      QuietUninstallString) want="\"$dir_win\\Uninstall.exe\" /S" ;;
      DisplayIcon) want="$dir_win\\vantrel.exe" ;;
      EstimatedSize)
        if ! [[ "$got" =~ ^0x[0-9a-f]+$ ]] || [ $((got)) -ne "$size_kb" ]; then
          fail "$mode: EstimatedSize is \"$got\", not the archive's $size_kb KiB"
        fi
        continue ;;
    esac
    [ "$got" = "$want" ] || fail "$mode: $root\\$uninstall_key $name is \"$got\", not \"$want\""
  done
  ! key_exists "$other\\$uninstall_key" || fail "$mode: the uninstall key is in $other too"
}

# Checks what an uninstall leaves: $1 the mode, $2 the folder on drive_c,
# $3 the Start menu folder on drive_c, $4 the registry root; $5 what may
# stay in the folder (the operator's files), or nothing: the folder goes.
check_uninstalled() {
  local mode="$1" dir="$2" menu="$3" root="$4" kept="${5:-}"
  if [ -z "$kept" ]; then
    [ ! -e "$dir" ] || { find "$dir" >&2; fail "$mode: the uninstall left $dir behind"; }
  else
    [ "$(cd "$dir" && find . -mindepth 1 | sed 's|^\./||')" = "$kept" ] \
      || { find "$dir" >&2; fail "$mode: the uninstall should leave $dir holding only $kept"; }
  fi
  [ ! -e "$menu" ] || { find "$menu" >&2; fail "$mode: the uninstall left the Start menu folder $menu"; }
  [ -z "$(find "$drive_c" -path '*Start Menu*' -iname '*vantrel*')" ] || fail "$mode: Start menu entries of Vantrel are left"
  ! key_exists "$root\\$uninstall_key" || fail "$mode: the uninstall left $root\\$uninstall_key"
  # The uninstaller's copy of itself in the temporary folder goes too (NSIS
  # leaves only its empty ~nsuN.tmp folder until the next restart).
  [ -z "$(find "$profile/Temp" -type f)" ] || { find "$profile/Temp" -type f >&2; fail "$mode: files are left in the temporary folder"; }
  operator_files_intact "$mode"
}

# Runs the uninstaller the way Add/Remove Programs does (it copies itself to
# the temporary folder and runs from there) and waits for it to end.
uninstall() {
  run "$work/uninstall-$1.log" "$2\\Uninstall.exe" /S
  [ "$code" -eq 0 ] || { cat "$work/uninstall-$1.log"; fail "$1: Uninstall.exe /S exited $code"; }
  wineserver -w
}

# --- 1. A bad command line ---------------------------------------------------
echo "== installer test: an unknown option"
run "$work/bad-option.log" "$setup" /S /AllUsers /AddPath
[ "$code" -eq 2 ] || { cat "$work/bad-option.log"; fail "an unknown option /AddPath: exit code $code, not 2"; }
grep -q 'Unknown option "/AddPath"' "$work/bad-option.log" \
  || { cat "$work/bad-option.log"; fail "an unknown option /AddPath: no message naming it on standard error"; }
[ ! -e "$drive_c/Program Files/Vantrel" ] || fail "an unknown option /AddPath: something was installed"

# --- 2. All users ------------------------------------------------------------
all_dir_win='C:\Program Files\Vantrel'
all_dir="$drive_c/Program Files/Vantrel"
all_menu="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Vantrel"
system_path_before="$(reg_value "$system_env" Path)" || fail "Wine's system PATH cannot be read"

echo "== installer test: all users, silent (/S /AllUsers)"
run "$work/install-all.log" "$setup" /S /AllUsers
[ "$code" -eq 0 ] || { cat "$work/install-all.log"; fail "all users: the installer exited $code"; }
check_installed "all users" "$all_dir_win" "$all_dir" "$all_menu" HKLM HKCU
[ "$(reg_value "$system_env" Path)" = "$system_path_before" ] || fail "all users: the system PATH changed though /AddToPath was not given"

echo "== installer test: all users again, over it, with the PATH (/S /AllUsers /AddToPath)"
run "$work/install-all-path.log" "$setup" /S /AllUsers /AddToPath
[ "$code" -eq 0 ] || { cat "$work/install-all-path.log"; fail "all users with PATH: the installer exited $code"; }
check_installed "all users with PATH" "$all_dir_win" "$all_dir" "$all_menu" HKLM HKCU
[ "$(reg_value "$system_env" Path)" = "$system_path_before;$all_dir_win" ] \
  || fail "all users with PATH: the system PATH is \"$(reg_value "$system_env" Path)\", not the old one with ;$all_dir_win"
wineserver -w  # a new session reads the changed environment
run "$work/on-path.txt" cmd /c 'cd /d C:\ && vantrel-cli --version'
grep -qx "vantrel-cli $version" <(tr -d '\r' <"$work/on-path.txt") \
  || { cat "$work/on-path.txt"; fail "all users with PATH: vantrel-cli is not found by its bare name in a command prompt"; }

echo "== installer test: all users, uninstall"
uninstall "all users" "$all_dir_win"
check_uninstalled "all users" "$all_dir" "$all_menu" HKLM
[ "$(reg_value "$system_env" Path)" = "$system_path_before" ] \
  || fail "all users: after the uninstall the system PATH is \"$(reg_value "$system_env" Path)\", not \"$system_path_before\""

# --- 3. The current user -----------------------------------------------------
user_dir_win="C:\\users\\$wine_user\\AppData\\Local\\Programs\\Vantrel"
user_dir="$profile/AppData/Local/Programs/Vantrel"
user_menu="$profile/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Vantrel"
! reg_value "$user_env" Path >/dev/null || fail "the fresh prefix has a user PATH already"

echo "== installer test: the current user, silent (/S /CurrentUser /AddToPath)"
run "$work/install-user.log" "$setup" /S /CurrentUser /AddToPath
[ "$code" -eq 0 ] || { cat "$work/install-user.log"; fail "current user: the installer exited $code"; }
check_installed "current user" "$user_dir_win" "$user_dir" "$user_menu" HKCU HKLM
[ "$(reg_value "$user_env" Path)" = "$user_dir_win" ] \
  || fail "current user: the user's PATH is \"$(reg_value "$user_env" Path)\", not \"$user_dir_win\""
[ "$(reg_value "$system_env" Path)" = "$system_path_before" ] || fail "current user: the system PATH changed"
# An operator's file saved beside the program.
cp "$here/tests/fuzz/corpus/datafile/sample.dat" "$user_dir/bench-7.dat"

echo "== installer test: the current user, uninstall"
uninstall "current user" "$user_dir_win"
check_uninstalled "current user" "$user_dir" "$user_menu" HKCU bench-7.dat
! reg_value "$user_env" Path >/dev/null || fail "current user: the uninstall left a user PATH \"$(reg_value "$user_env" Path)\""
rm -rf "$user_dir"

# --- 4. A PATH too long to edit whole (and a folder given with /D=) ----------
echo "== installer test: a user PATH too long to edit whole, a folder of one's own (/D=)"
# (Wine quotes an argument with a space, and NSIS takes /D= unquoted only.)
own_dir_win='C:\BenchTools\Vantrel'
own_dir="$drive_c/BenchTools/Vantrel"
long_path="C:\\tools\\bin$(printf ';C:\\Tools\\Vendor %03d\\bin' $(seq 1 50))"
run "$work/reg-add.log" reg add "$user_env" /v Path /t REG_EXPAND_SZ /d "$long_path" /f
[ "$code" -eq 0 ] || { cat "$work/reg-add.log"; fail "could not set a long user PATH"; }
[ "$(reg_value "$user_env" Path)" = "$long_path" ] || fail "the long user PATH did not read back"
run "$work/install-long.log" "$setup" /S /CurrentUser /AddToPath "/D=$own_dir_win"
[ "$code" -eq 3 ] || { cat "$work/install-long.log"; fail "long PATH: the installer exited $code, not 3"; }
grep -q 'PATH is too long' "$work/install-long.log" || { cat "$work/install-long.log"; fail "long PATH: the installer did not say the PATH was left alone"; }
[ "$(reg_value "$user_env" Path)" = "$long_path" ] || fail "long PATH: the installer changed the user's PATH"
[ -f "$own_dir/vantrel-cli.exe" ] || fail "long PATH: the program was not installed in the folder /D= named, $own_dir_win"
[ ! -e "$user_dir" ] || fail "long PATH: the program went to $user_dir, not to the folder /D= named"
# In place (_?=) to see the uninstaller's own exit code.
run "$work/uninstall-long.log" "$own_dir_win\\Uninstall.exe" /S "_?=$own_dir_win"
[ "$code" -eq 3 ] || { cat "$work/uninstall-long.log"; fail "long PATH: the uninstaller exited $code, not 3"; }
[ "$(reg_value "$user_env" Path)" = "$long_path" ] || fail "long PATH: the uninstaller changed the user's PATH"
[ "$(cd "$own_dir" && ls)" = Uninstall.exe ] || { find "$own_dir" >&2; fail "long PATH: the uninstaller run in place left more than itself"; }
! key_exists "HKCU\\$uninstall_key" || fail "long PATH: the uninstall left HKCU\\$uninstall_key"
operator_files_intact "long PATH"

echo "== installer test: all passed"
