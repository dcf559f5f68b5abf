#!/usr/bin/env bash
# The Debian package as a user gets it: its dependencies, and its contents unpacked into a
# temporary root (the programs, the data files, the desktop entry, the icon, the manual
# pages); then the unpacked lumacrest-cli, run with a temporary HOME, makes and uses the
# user's program directory.
# Usage: check_package.sh PACKAGE.deb
set -uo pipefail
deb="$(realpath "$1")"
src="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
passed=0 failed=0
check() {  # check NAME CONDITION...
  local name="$1"; shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $name"; fi
}

depends="$(dpkg-deb -f "$deb" Depends)"
echo "Depends: $depends"
for p in libqt6core6 libqt6widgets6 libqt6serialport6 libqt6svg6 qt6-qpa-plugins fonts-wqy-microhei libc6; do
  check "depends on $p" grep -Eq "(^|, )$p( |,|$)" <<< "$depends"
done

root="$work/root"
dpkg-deb -x "$deb" "$root"
for program in lumacrest lumacrest-cli lumacrest-sim; do
  check "$program in usr/bin" test -x "$root/usr/bin/$program"
done
for f in "$src"/res/*.dat "$src"/res/*.cfg; do
  check "$(basename "$f") in usr/share/lumacrest" cmp -s "$f" "$root/usr/share/lumacrest/$(basename "$f")"
done
desktop="$root/usr/share/applications/lumacrest.desktop"
check "desktop entry" grep -qx "Exec=lumacrest" "$desktop"
check "desktop entry's icon" grep -qx "Icon=lumacrest" "$desktop"
check "desktop entry valid" desktop-file-validate "$desktop"
check "icon" cmp -s "$src/res/icons/app-128.svg" "$root/usr/share/icons/hicolor/scalable/apps/lumacrest.svg"
for page in lumacrest-cli lumacrest-sim; do
  man="$root/usr/share/man/man1/$page.1.gz"
  check "manual page of $page" test -s "$man"
  # Every option the program lists is in its manual page.
  for option in $("$root/usr/bin/$page" --help 2>&1 | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    check "$page(1) names $option" grep -q -- "${option//-/\\\\-}" <(gzip -dc "$man")
  done
done

# The unpacked programs find their data beside them (usr/bin/../share/lumacrest) and keep the
# settings in the user's folder, made at the first start.
home="$work/home"
mkdir -p "$home"
user_dir="$home/.local/share/lumacrest"
cli() { env -u XDG_DATA_HOME HOME="$home" "$root/usr/bin/lumacrest-cli" "$@"; }
check "--help names the user's folder" grep -qx "The program directory here: $user_dir/" <(cli --help)
cli --mcu MN101EF51A_IAP --save-config checksum > "$work/out1.txt" 2>&1
check "first run exits 0" test $? -eq 0
for f in Config.dat Ports.dat MN101EF51A_IAP.cfg; do
  check "$f copied in" test -s "$user_dir/$f"
done
check "settings saved there" test "$(sed -n 2p "$user_dir/Config.dat")" = MN101EF51A_IAP
check "nothing written beside the programs" test "$(ls "$root/usr/bin")" = "$(printf 'lumacrest\nlumacrest-cli\nlumacrest-sim')"
# A second start keeps the user's files and brings back a missing one.
echo "COM3 /tmp/lumacrest-com3" > "$user_dir/Ports.dat"
rm "$user_dir/MN101EF51A_IAP.cfg"
cli checksum > "$work/out2.txt" 2>&1
check "second run exits 0" test $? -eq 0
check "second run starts with the saved settings" test "$(head -1 "$work/out2.txt")" = "Adapter:ZK9_QFP64_001(51A)"
check "the user's Ports.dat stays" test "$(cat "$user_dir/Ports.dat")" = "COM3 /tmp/lumacrest-com3"
check "a missing file comes back" cmp -s "$user_dir/MN101EF51A_IAP.cfg" "$src/res/MN101EF51A_IAP.cfg"
# XDG_DATA_HOME moves the folder.
XDG_DATA_HOME="$work/data" HOME="$home" "$root/usr/bin/lumacrest-cli" checksum > /dev/null 2>&1
check "XDG_DATA_HOME is used" test -s "$work/data/lumacrest/Config.dat"

echo "$passed passed, $failed failed"
test "$failed" -eq 0
